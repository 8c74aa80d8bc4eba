#include "LoDocument.h"

#include "PageCut.h"
#include "UnoText.h"
#include "core/AutomationError.h"
#include "core/TempFolder.h"
#include "office/OfficeFailure.h"
#include "office/WorkFolders.h"
#include "util/UserFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XTypeDetection.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/container/XElementAccess.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XLoadable.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <vector>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/util/CloseVetoException.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cerrno>
#include <QRegularExpression>
#include <QUrl>
#include <com/sun/star/beans/PropertyAttribute.hpp>
#include <com/sun/star/beans/XPropertyContainer.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/document/XDocumentProperties.hpp>
#include <com/sun/star/document/XDocumentPropertiesSupplier.hpp>
#include <signal.h>
#include <unistd.h>

namespace tx::office::lo {
namespace {

QString cleanCopyOf(const QString &copyPath)
{
    const QFileInfo info(copyPath);
    return info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral(".clean.odt"));
}

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

QString workCopyName(const QString &source)
{
    const QString dir = tx::temp::folder() + QStringLiteral("/doc2html");
    if (!makePrivateFolder(dir))
        throw fileError(errno, dir);
    const QString suffix = QFileInfo(source).suffix();
    // The owner's process in the name: a copy whose owner was killed is closed
    // and removed by the next process that opens a document in the instance.
    return QStringLiteral("%1/~tx%2-%3%4")
        .arg(dir)
        .arg(::getpid())
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))
        .arg(suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}

const char *const kOwnerProperty = "TessarixOwner";

// Marks a new document (which has no file to be named after) as this process's.
void markOwner(const Reference<css::lang::XComponent> &model)
{
    Reference<css::document::XDocumentPropertiesSupplier> info(model, UNO_QUERY);
    if (!info.is())
        return;
    Reference<css::beans::XPropertyContainer> user = info->getDocumentProperties()->getUserDefinedProperties();
    user->addProperty(rtl::OUString::createFromAscii(kOwnerProperty), css::beans::PropertyAttribute::REMOVABLE,
                      css::uno::Any(sal_Int32(::getpid())));
}

// The process a document of the instance belongs to, 0 when not one of ours;
// `stem` is the work copy's folder and name up to its first ".", if any.
pid_t ownerOf(const Reference<css::lang::XComponent> &model, QString &stem)
{
    static const QRegularExpression copy(QStringLiteral("^(.*/~tx(\\d+)-[0-9a-f]{8})[^/]*$"));
    Reference<css::frame::XModel> m(model, UNO_QUERY);
    if (m.is()) {
        const QString url = qs(m->getURL());
        if (!url.isEmpty()) {
            const QRegularExpressionMatch match = copy.match(QUrl(url).toLocalFile());
            if (!match.hasMatch())
                return 0;
            stem = match.captured(1);
            return pid_t(match.captured(2).toLongLong());
        }
    }
    Reference<css::document::XDocumentPropertiesSupplier> info(model, UNO_QUERY);
    if (!info.is())
        return 0;
    Reference<css::beans::XPropertySet> user(info->getDocumentProperties()->getUserDefinedProperties(), UNO_QUERY);
    sal_Int32 pid = 0;
    if (user.is() && user->getPropertySetInfo()->hasPropertyByName(rtl::OUString::createFromAscii(kOwnerProperty)))
        user->getPropertyValue(rtl::OUString::createFromAscii(kOwnerProperty)) >>= pid;
    return pid_t(pid);
}

bool processGone(pid_t pid)
{
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Everything of a work copy: the copy, its lock file, its export and pictures.
void removeEverythingOf(const QString &stem)
{
    const QFileInfo info(stem);
    QDir dir = info.absoluteDir();
    const QString name = info.fileName();
    for (const QString &entry : dir.entryList({name + QLatin1Char('*'), QStringLiteral(".~lock.") + name + QLatin1Char('*')},
                                              QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System)) {
        const QString path = dir.filePath(entry);
        if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
}

void closeModel(const Reference<css::lang::XComponent> &model);

// Documents that processes killed in the middle of their work left open in
// the instance: closed, their copies removed, so that the instance can end.
void closeOrphans(LoSession &s)
{
    if (!s.instance.desktop.is())
        return;
    Reference<css::container::XEnumeration> all = s.instance.documents();
    std::vector<std::pair<Reference<css::lang::XComponent>, QString>> orphans;
    while (all->hasMoreElements()) {
        Reference<css::lang::XComponent> model(all->nextElement(), UNO_QUERY);
        QString stem;
        if (model.is() && processGone(ownerOf(model, stem)))
            orphans.emplace_back(model, stem);
    }
    for (const auto &[model, stem] : orphans) {
        try {
            closeModel(model);
        } catch (const css::uno::RuntimeException &) {
            throw;
        } catch (const css::uno::Exception &) {
        }
        if (!stem.isEmpty())
            removeEverythingOf(stem);
    }
}

void closeModel(const Reference<css::lang::XComponent> &model);

// Where a load fails for the document itself: damaged, no filter takes it,
// locked by a password. A runtime error may be the office going away instead,
// which the session tells.
template <typename F> auto loading(const rtl::OUString &url, F &&f) -> decltype(f())
{
    try {
        return f();
    } catch (const css::uno::RuntimeException &) {
        throw;
    } catch (const css::uno::Exception &e) {
        raiseCannotOpen(qs(url) + QStringLiteral(": ") + qs(e.Message));
    }
}

Reference<css::lang::XComponent> loadHidden(LoSession &s, const rtl::OUString &url)
{
    Reference<css::frame::XComponentLoader> loader(s.instance.desktop, UNO_QUERY_THROW);
    Reference<css::lang::XComponent> model = loading(
        url, [&] { return loader->loadComponentFromURL(url, "_blank", 0, props({{"Hidden", css::uno::Any(true)}})); });
    if (!model.is())
        raiseCannotOpen(QStringLiteral("the office could not load ") + qs(url));
    return model;
}

// The filter the office's type detection picks for the file.
rtl::OUString detectFilter(LoSession &s, const rtl::OUString &url)
{
    auto ctx = s.instance.context;
    Reference<css::document::XTypeDetection> detection(
        ctx->getServiceManager()->createInstanceWithContext("com.sun.star.document.TypeDetection", ctx),
        UNO_QUERY_THROW);
    css::uno::Sequence<css::beans::PropertyValue> descriptor = props({{"URL", css::uno::Any(url)}});
    const rtl::OUString type = detection->queryTypeByDescriptor(descriptor, true);
    if (type.isEmpty())
        raiseCannotOpen(qs(url) + QStringLiteral(": no filter takes it"));
    css::uno::Sequence<css::beans::PropertyValue> info;
    Reference<css::container::XNameAccess>(detection, UNO_QUERY_THROW)->getByName(type) >>= info;
    rtl::OUString filter;
    for (const css::beans::PropertyValue &p : std::as_const(info))
        if (p.Name == "PreferredFilter")
            p.Value >>= filter;
    return filter;
}

// A field that shows a figure of the document's statistics, which the office
// counts again before every export.
bool showsStatistics(const css::uno::Sequence<rtl::OUString> &services)
{
    static const char *const kinds[] = {"PageCount", "ParagraphCount", "WordCount", "CharacterCount",
                                        "TableCount", "GraphicObjectCount", "EmbeddedObjectCount"};
    for (const rtl::OUString &name : services)
        for (const char *kind : kinds)
            if (name == rtl::OUString("com.sun.star.text.textfield.") + rtl::OUString::createFromAscii(kind))
                return true;
    return false;
}

// A text document with comments: the view builds a window for every comment
// from a dialog description that the headless packages do not ship, and the
// office ends (std::terminate) as soon as its main loop gets to it, right after
// the load returns (a one-shot conversion closes the document before, so it
// survives). So the document is loaded without a view and its comments removed
// (the cleaner drops them from the HTML anyway). It is shown (hidden) only when
// a call needs its layout: a view lays out every page, which costs more than
// the load and the export together, and an export needs no view.
Reference<css::lang::XComponent> loadTextWithoutComments(LoSession &s, const rtl::OUString &url, bool *hadComments)
{
    auto ctx = s.instance.context;
    const rtl::OUString filter = loading(url, [&] { return detectFilter(s, url); });
    Reference<css::frame::XLoadable> loadable(
        ctx->getServiceManager()->createInstanceWithContext("com.sun.star.text.TextDocument", ctx), UNO_QUERY_THROW);
    loading(url, [&] {
        loadable->load(props({{"URL", css::uno::Any(url)}, {"FilterName", css::uno::Any(filter)}, {"Hidden", css::uno::Any(true)}}));
        return 0;
    });
    Reference<css::lang::XComponent> model(loadable, UNO_QUERY_THROW);
    try {
        Reference<css::text::XTextFieldsSupplier> fields(model, UNO_QUERY_THROW);
        Reference<css::container::XEnumeration> all = fields->getTextFields()->createEnumeration();
        std::vector<Reference<css::text::XTextContent>> comments;
        while (all->hasMoreElements()) {
            Reference<css::lang::XServiceInfo> field(all->nextElement(), UNO_QUERY);
            if (field.is() && field->supportsService("com.sun.star.text.textfield.Annotation"))
                comments.emplace_back(field, UNO_QUERY);
        }
        *hadComments = !comments.empty();
        for (const auto &c : comments)
            if (c.is())
                Reference<css::lang::XComponent>(c, UNO_QUERY_THROW)->dispose();
    } catch (...) {
        closeModel(model);
        throw;
    }
    return model;
}

// The service a document of the session's kind has.
const char *serviceOf(const QString &kind)
{
    if (kind == u"calc")
        return "com.sun.star.sheet.SpreadsheetDocument";
    if (kind == u"impress")
        return "com.sun.star.presentation.PresentationDocument";
    return "com.sun.star.text.TextDocument";
}

// The filter the office took the file in with.
QString filterOf(const Reference<css::lang::XComponent> &model)
{
    Reference<css::frame::XModel> m(model, UNO_QUERY);
    if (!m.is())
        return {};
    const css::uno::Sequence<css::beans::PropertyValue> args = m->getArgs();
    for (const css::beans::PropertyValue &p : args) {
        rtl::OUString name;
        if (p.Name == "FilterName" && (p.Value >>= name))
            return qs(name);
    }
    return {};
}

void closeModel(const Reference<css::lang::XComponent> &model)
{
    Reference<css::util::XCloseable> closeable(model, UNO_QUERY);
    try {
        if (closeable.is()) {
            closeable->close(true);
            return;
        }
    } catch (const css::util::CloseVetoException &) {
    }
    model->dispose();
}

// The copy and the lock file beside it, which a killed office leaves behind,
// and what its pages' export left there.
void removeCopy(const QString &path)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    QDir dir = info.absoluteDir();
    QFile::remove(dir.filePath(QStringLiteral(".~lock.") + info.fileName() + QLatin1Char('#')));
    QFile::remove(path);
    const QString exported = exportFileOf(path);
    QFile::remove(exported);
    QDir(pagePicturesOf(path)).removeRecursively();
    QFile::remove(cleanCopyOf(path));
    const QString pictures = QFileInfo(exported).fileName().replace(QLatin1Char('.'), QLatin1Char('_')) + QStringLiteral("_*");
    for (const QString &name : dir.entryList({pictures}, QDir::Files))
        dir.remove(name);
}

} // namespace

std::shared_ptr<LoDocument> LoDocument::open(LoSession &s, const QString &source, const QString &what)
{
    auto doc = std::make_shared<LoDocument>();
    doc->copyPath = workCopyName(source);
    // Read as every user's file is: within the session's grants when it is opened.
    userfiles::copyTo(source, doc->copyPath);
    const rtl::OUString url = fileUrl(doc->copyPath);
    const char *service = serviceOf(s.instance.kind());
    try {
        s.call(what, [&s, doc, url, service] {
            SofficeInstance::Lock loading(s.instance, false);
            s.instance.keepTempFolder();
            closeOrphans(s);
            s.track(doc);
            Reference<css::lang::XComponent> model = s.instance.kind() == u"writer"
                ? loadTextWithoutComments(s, url, &doc->hadComments)
                : loadHidden(s, url);
            if (s.instance.kind() == u"writer")
                doc->shownLater.set(s.instance.desktop, UNO_QUERY_THROW);
            s.instance.countConversion();
            // Random bytes or a renamed file open as plain text (or in another
            // application): never converted as if they were the document.
            const QString filter = filterOf(model);
            Reference<css::lang::XServiceInfo> info(model, UNO_QUERY);
            if (!info.is() || !info->supportsService(rtl::OUString::createFromAscii(service))
                || filter.startsWith(QLatin1String("Text"))) {
                closeModel(model);
                raiseCannotOpen(QStringLiteral("%1 is not a %2 (filter \"%3\")").arg(qs(url), QLatin1String(service), filter));
            }
            doc->model = model;
        });
    } catch (...) {
        removeCopy(doc->copyPath);
        throw;
    }
    return doc;
}

std::shared_ptr<LoDocument> LoDocument::create(LoSession &s, const QString &factory, const QString &what)
{
    auto doc = std::make_shared<LoDocument>();
    const rtl::OUString url = ou(factory);
    s.call(what, [&s, doc, url] {
        doc->model = loadHidden(s, url);
        s.track(doc);
        markOwner(doc->model);
    });
    return doc;
}

void LoDocument::reloadWithoutComments(LoSession &s)
{
    if (!hadComments || closed)
        return;
    const QString clean = cleanCopyOf(copyPath);
    s.call(QStringLiteral("Documents.Open"), [&s, self = this, clean] {
        self->storeTo(clean, "writer8");
        closeModel(self->model);
        self->forget();
        bool again = false;
        self->model = loadTextWithoutComments(s, fileUrl(clean), &again);
        self->shownLater.set(s.instance.desktop, UNO_QUERY_THROW);
    });
    hadComments = false;
}

void LoDocument::forget()
{
    parts.reset();
    model.clear();
    shownLater.clear();
}

void LoDocument::show()
{
    if (!shownLater.is())
        return;
    Reference<css::frame::XModel> m(model, UNO_QUERY_THROW);
    if (!m->getCurrentController().is()) {
        // A window of its own without bars: a status bar would have the office
        // count every word of the document in the background while it lays it
        // out, and the HTML export counts them again anyway.
        Reference<css::frame::XFrame> frame =
            Reference<css::frame::XFrame>(shownLater, UNO_QUERY_THROW)->findFrame("_blank", 0);
        if (!frame.is())
            throw css::uno::RuntimeException("the office made no window");
        try {
            Reference<css::beans::XPropertySet>(frame, UNO_QUERY_THROW)
                ->setPropertyValue("LayoutManager", css::uno::Any(Reference<css::uno::XInterface>()));
            Reference<css::frame::XComponentLoader>(frame, UNO_QUERY_THROW)
                ->loadComponentFromURL("private:object", "_self", 0,
                                       props({{"Model", css::uno::Any(m)}, {"Hidden", css::uno::Any(true)}}));
        } catch (...) {
            if (!m->getCurrentController().is())
                frame->dispose(); // an empty window would keep the instance from ending
            throw;
        }
    }
    shownLater.clear();
}

void LoDocument::storeTo(const QString &path, const char *filter,
                         const css::uno::Sequence<css::beans::PropertyValue> &filterData,
                         const QString &password, const char *options) const
{
    Reference<css::frame::XStorable> storable(model, UNO_QUERY_THROW);
    std::vector<std::pair<const char *, css::uno::Any>> args{
        {"FilterName", css::uno::Any(rtl::OUString::createFromAscii(filter))}, {"Overwrite", css::uno::Any(true)}};
    if (options)
        args.emplace_back("FilterOptions", css::uno::Any(rtl::OUString::createFromAscii(options)));
    if (filterData.hasElements())
        args.emplace_back("FilterData", css::uno::Any(filterData));
    if (!password.isEmpty())
        args.emplace_back("Password", css::uno::Any(ou(password)));
    storable->storeToURL(fileUrl(path), propsOf(args));
}

void LoDocument::storeHtml(const QString &path) const
{
    // With nothing the export writes as a picture and no field showing the
    // document's statistics, the export is told to skip pictures: it writes the
    // same file, and the office spares counting every word of the document
    // first (as long as the layout of all its pages), which only such fields
    // show. Asked at each export: a paste may have brought either.
    // A text document has the one draw page, where its pictures, frames,
    // objects and shapes all are.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Reference<css::drawing::XDrawPageSupplier> page(model, UNO_QUERY);
    bool plain = page.is() && !Reference<css::container::XElementAccess>(page->getDrawPage(), UNO_QUERY_THROW)->hasElements();
#pragma GCC diagnostic pop
    Reference<css::text::XTextFieldsSupplier> fields(model, UNO_QUERY);
    plain = plain && fields.is();
    for (Reference<css::container::XEnumeration> all = plain ? fields->getTextFields()->createEnumeration() : nullptr;
         plain && all->hasMoreElements();) {
        Reference<css::lang::XServiceInfo> field(all->nextElement(), UNO_QUERY);
        plain = !field.is() || !showsStatistics(field->getSupportedServiceNames());
    }
    storeTo(path, "HTML (StarWriter)", {}, {}, plain ? "SkipImages" : nullptr);
}

void LoDocument::close(LoSession &s, const std::shared_ptr<LoDocument> &doc, const QString &what)
{
    if (doc->closed)
        return;
    doc->closed = true;
    try {
        s.call(what, [doc] {
            if (doc->model.is())
                closeModel(doc->model);
            doc->forget();
        });
    } catch (...) {
        removeCopy(doc->copyPath);
        throw;
    }
    removeCopy(doc->copyPath);
}

void LoDocument::release(LoSession &s, std::shared_ptr<LoDocument> doc)
{
    if (!doc)
        return;
    // The work copy goes now: behind a call that a stopped office holds up, the
    // worker would remove it only after the failed call had returned.
    if (!doc->closed)
        removeCopy(doc->copyPath);
    // The last reference goes on the worker, so the remote release is its call too.
    s.post([doc = std::move(doc)]() mutable { discard(std::move(doc)); });
}

void LoDocument::discard(std::shared_ptr<LoDocument> doc)
{
    if (!doc)
        return;
    const bool wasOpen = !doc->closed;
    doc->closed = true;
    if (wasOpen && doc->model.is()) {
        try {
            closeModel(doc->model);
        } catch (...) {
        }
    }
    doc->forget();
    if (wasOpen)
        removeCopy(doc->copyPath);
}

} // namespace tx::office::lo
