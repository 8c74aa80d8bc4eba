// The presentation program on Impress: every slide exported by itself as a JPEG
// at its own size.
#include "LoApps.h"
#include "office/WorkFolders.h"
#include "LoDocument.h"
#include "UnoText.h"
#include "core/AutomationError.h"
#include "office/OfficeConstants.h"

#include <QDir>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/document/XExporter.hpp>
#include <com/sun/star/document/XFilter.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <cerrno>

namespace tx::office::lo {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

// Windows language ids of the locales a document is likely to carry.
int32_t languageId(const css::lang::Locale &l)
{
    const QString lang = qs(l.Language), country = qs(l.Country);
    struct Row { const char *lang, *country; int32_t id; };
    static const Row rows[] = {
        {"zh", "CN", 2052}, {"zh", "", 2052}, {"zh", "SG", 4100}, {"zh", "TW", 1028},
        {"zh", "HK", 3076}, {"en", "US", 1033}, {"en", "GB", 2057}, {"en", "", 1033},
        {"de", "DE", 1031}, {"fr", "FR", 1036}, {"ja", "JP", 1041}, {"ko", "KR", 1042},
        {"es", "ES", 3082}, {"it", "IT", 1040}, {"ru", "RU", 1049}, {"pt", "BR", 1046},
    };
    for (const Row &r : rows)
        if (lang == QLatin1String(r.lang) && country == QLatin1String(r.country))
            return r.id;
    return 0;
}

Reference<css::container::XIndexAccess> slidesOf(const LoDocument &doc)
{
    Reference<css::drawing::XDrawPagesSupplier> pages(doc.model, UNO_QUERY_THROW);
    return Reference<css::container::XIndexAccess>(pages->getDrawPages(), UNO_QUERY_THROW);
}

bool startsCjk(const QString &text)
{
    for (QChar c : text) {
        if (c.isSpace())
            continue;
        const char16_t u = c.unicode();
        return (u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xAC00 && u <= 0xD7AF) || (u >= 0xF900 && u <= 0xFAFF)
            || (u >= 0xFF00 && u <= 0xFFEF);
    }
    return false;
}

// The language the presentation is written in: that of its first text (the
// Asian one for Chinese, Japanese or Korean text), else the document's default.
// Presentations from other programs carry it on the text, not on the document.
int32_t languageOf(const LoDocument &doc)
{
    auto slides = slidesOf(doc);
    for (sal_Int32 i = 0; i < slides->getCount(); ++i) {
        Reference<css::container::XIndexAccess> shapes(slides->getByIndex(i), UNO_QUERY_THROW);
        for (sal_Int32 j = 0; j < shapes->getCount(); ++j) {
            Reference<css::text::XText> text(shapes->getByIndex(j), css::uno::UNO_QUERY);
            if (!text.is())
                continue;
            const QString string = qs(text->getString()).trimmed();
            if (string.isEmpty())
                continue;
            Reference<css::text::XTextCursor> cursor = text->createTextCursor();
            cursor->gotoStart(false);
            cursor->goRight(1, true);
            Reference<css::beans::XPropertySet> chars(cursor, UNO_QUERY_THROW);
            css::lang::Locale locale;
            chars->getPropertyValue(startsCjk(string) ? OUString("CharLocaleAsian") : OUString("CharLocale")) >>= locale;
            if (const int32_t id = languageId(locale))
                return id;
        }
    }
    Reference<css::beans::XPropertySet> p(doc.model, UNO_QUERY_THROW);
    css::lang::Locale locale;
    p->getPropertyValue("CharLocale") >>= locale;
    const int32_t id = languageId(locale);
    return id ? id : 1033;
}

class ImpressPresentation final : public PowerPointPresentation {
public:
    ImpressPresentation(LoSession &s, std::shared_ptr<LoDocument> doc) : s(s), doc(std::move(doc)) {}
    ~ImpressPresentation() override { LoDocument::release(s, std::move(doc)); }

    int32_t DefaultLanguageID() override
    {
        return s.call(QStringLiteral("Presentation.DefaultLanguageID"), [d = doc] { return languageOf(*d); });
    }
    int32_t SlidesCount() override
    {
        return s.call(QStringLiteral("Presentation.Slides.Count"),
                      [d = doc] { return int32_t(slidesOf(*d)->getCount()); });
    }
    void SaveAs(const QString &fileName, int fileFormat) override
    {
        if (fileFormat == ppSaveAsOpenXMLPresentation) {
            s.call(QStringLiteral("Presentation.SaveAs"),
                   [d = doc, fileName] { d->storeTo(fileName, "Impress MS PowerPoint 2007 XML"); });
            return;
        }
        if (fileFormat != ppSaveAsJPG)
            raiseRuntime(ErrInvalidCall, QStringLiteral("SaveAs format %1").arg(fileFormat));
        const QString folder = slidesFolder(fileName);
        if (!makePrivateFolder(folder))
            throw fileError(errno, folder);
        // Captures nothing that dies with this object: the call may outlive it.
        s.call(QStringLiteral("Presentation.SaveAs"),
               [session = &s, d = doc, folder] { exportSlides(*session, *d, folder); });
    }
    void Close() override { LoDocument::close(s, doc, QStringLiteral("Presentation.Close")); }

private:
    // Worker: the presentation JPEG filter writes the first slide only, so each
    // slide goes through the drawing graphic export by itself.
    static void exportSlides(LoSession &s, const LoDocument &d, const QString &folder)
    {
        const QString word = languageOf(d) == kLangChinesePrc ? QStringLiteral("幻灯片")
                                                              : QStringLiteral("Slide");
        auto slides = slidesOf(d);
        auto filter = css::drawing::GraphicExportFilter::create(s.instance.context);
        for (sal_Int32 i = 0; i < slides->getCount(); ++i) {
            Reference<css::lang::XComponent> slide(slides->getByIndex(i), UNO_QUERY_THROW);
            Reference<css::beans::XPropertySet> size(slide, UNO_QUERY_THROW);
            sal_Int32 w = 0, h = 0; // 1/100 mm
            size->getPropertyValue("Width") >>= w;
            size->getPropertyValue("Height") >>= h;
            const auto px = [](sal_Int32 mm100) { return css::uno::Any(sal_Int32((mm100 * 96 + 1270) / 2540)); };
            Reference<css::document::XExporter> exporter(filter, UNO_QUERY_THROW);
            exporter->setSourceDocument(slide);
            const QString path = folder + QLatin1Char('/') + word + QString::number(i + 1) + ".jpg";
            Reference<css::document::XFilter>(filter, UNO_QUERY_THROW)
                ->filter(props({{"URL", css::uno::Any(fileUrl(path))},
                                {"MediaType", css::uno::Any(rtl::OUString("image/jpeg"))},
                                {"FilterData", css::uno::Any(props({{"PixelWidth", px(w)},
                                                                    {"PixelHeight", px(h)},
                                                                    {"Quality", css::uno::Any(sal_Int32(90))}}))}}));
        }
    }

    LoSession &s;
    std::shared_ptr<LoDocument> doc;
};

class ImpressPowerPoint final : public PowerPointApplication {
public:
    explicit ImpressPowerPoint(LoSession &s) : s(s) {}
    void SetVisible(int) override {} // headless by design
    std::unique_ptr<PowerPointPresentation> PresentationsOpen(const QString &fileName) override
    {
        return std::make_unique<ImpressPresentation>(
            s, LoDocument::open(s, fileName, QStringLiteral("Presentations.Open")));
    }
    // Another control or process may have a presentation open in the shared
    // instance: it is ended only when nobody does.
    void Quit() override
    {
        s.call(QStringLiteral("Quit"), [session = &s] { session->instance.terminateIfUnused(); });
    }

private:
    LoSession &s;
};

} // namespace

std::unique_ptr<PowerPointApplication> makeImpressPowerPoint(LoSession &s)
{
    return std::make_unique<ImpressPowerPoint>(s);
}

} // namespace tx::office::lo
