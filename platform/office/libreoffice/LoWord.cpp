// The word processor on Writer: pages from the layout through the view cursor,
// copy and paste through the controllers' transferables.
#include "HtmlExport.h"
#include "platform/office/WorkFolders.h"
#include "LoApps.h"
#include "LoDocument.h"
#include "UnoText.h"
#include "platform/AutomationError.h"
#include "platform/office/OfficeConstants.h"

#include <QFileInfo>
#include <com/sun/star/datatransfer/XTransferableSupplier.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>

namespace tx::office::lo {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

Reference<css::frame::XController> controllerOf(const LoDocument &doc)
{
    Reference<css::frame::XModel> model(doc.model, UNO_QUERY_THROW);
    Reference<css::frame::XController> c = model->getCurrentController();
    if (!c.is())
        throw css::uno::RuntimeException("the document has no window");
    return c;
}

Reference<css::text::XTextViewCursor> viewCursorOf(const LoDocument &doc)
{
    Reference<css::text::XTextViewCursorSupplier> s(controllerOf(doc), UNO_QUERY_THROW);
    return s->getViewCursor();
}

// What Copy took, for Paste: one per application object, so that two
// conversions that interleave through the message pump never paste each
// other's pages. Touched on the worker only.
struct TransferSlot {
    Reference<css::datatransfer::XTransferable> content;
};
using Slot = std::weak_ptr<TransferSlot>;

std::shared_ptr<TransferSlot> lockSlot(const Slot &slot)
{
    auto s = slot.lock();
    if (!s)
        throw css::uno::RuntimeException("the application was released");
    return s;
}

class WriterSelection final : public WordSelection {
public:
    WriterSelection(LoSession &s, std::shared_ptr<LoDocument> doc, Slot slot)
        : s(s), doc(std::move(doc)), slot(std::move(slot)) {}
    ~WriterSelection() override = default;

    void GoTo(int what, int count) override
    {
        if (what != wdGoToPage)
            raiseRuntime(ErrInvalidCall, QStringLiteral("Selection.GoTo"));
        s.call(QStringLiteral("Selection.GoTo"), [d = doc, count] {
            auto cursor = viewCursorOf(*d);
            cursor->collapseToStart();
            Reference<css::text::XPageCursor> pages(cursor, UNO_QUERY_THROW);
            pages->jumpToPage(sal_Int16(qBound(1, count, 32767)));
            pages->jumpToStartOfPage();
        });
    }
    void EndKey(int unit, int extend) override
    {
        if (unit != wdStory)
            raiseRuntime(ErrInvalidCall, QStringLiteral("Selection.EndKey"));
        s.call(QStringLiteral("Selection.EndKey"),
               [d = doc, extend] { viewCursorOf(*d)->gotoEnd(extend == wdExtend); });
    }
    void Copy() override
    {
        s.call(QStringLiteral("Selection.Copy"), [d = doc, slot = slot] {
            Reference<css::datatransfer::XTransferableSupplier> t(controllerOf(*d), UNO_QUERY_THROW);
            lockSlot(slot)->content = t->getTransferable();
        });
    }
    void Paste() override
    {
        s.call(QStringLiteral("Selection.Paste"), [d = doc, slot = slot] {
            auto taken = lockSlot(slot);
            if (!taken->content.is())
                return;
            Reference<css::datatransfer::XTransferableSupplier> t(controllerOf(*d), UNO_QUERY_THROW);
            t->insertTransferable(taken->content);
        });
    }
    void Delete() override
    {
        s.call(QStringLiteral("Selection.Delete"), [d = doc] { viewCursorOf(*d)->setString(rtl::OUString()); });
    }

private:
    LoSession &s;
    std::shared_ptr<LoDocument> doc;
    Slot slot;
};

class WriterDocument final : public WordDocument {
public:
    WriterDocument(LoSession &s, std::shared_ptr<LoDocument> doc, Slot slot)
        : s(s), doc(std::move(doc)), slot(std::move(slot)) {}
    ~WriterDocument() override { LoDocument::release(s, std::move(doc)); }

    void Repaginate() override {} // the page count below lays the document out
    int32_t BuiltInDocumentProperties(int id) override
    {
        if (id != wdPropertyPages)
            raiseRuntime(ErrInvalidCall, QStringLiteral("BuiltInDocumentProperties(%1)").arg(id));
        return s.call(QStringLiteral("the page count"), [d = doc] {
            Reference<css::text::XPageCursor> pages(viewCursorOf(*d), UNO_QUERY_THROW);
            pages->jumpToLastPage();
            const int32_t n = pages->getPage();
            pages->jumpToFirstPage();
            return n;
        });
    }
    std::shared_ptr<WordSelection> WindowsSelection(int index) override
    {
        if (index != 1)
            raiseRuntime(ErrSubscript, QStringLiteral("Windows(%1)").arg(index));
        return std::make_shared<WriterSelection>(s, doc, slot);
    }
    void SaveAs(const QString &fileName, int fileFormat) override
    {
        if (fileFormat == wdFormatXMLDocument) {
            s.call(QStringLiteral("Document.SaveAs"),
                   [d = doc, fileName] { d->storeTo(fileName, "MS Word 2007 XML"); });
            return;
        }
        if (fileFormat != wdFormatHTML)
            raiseRuntime(ErrInvalidCall, QStringLiteral("SaveAs format %1").arg(fileFormat));
        s.call(QStringLiteral("Document.SaveAs"),
               [d = doc, fileName] { d->storeTo(fileName, "HTML (StarWriter)"); });
        QByteArray html = readWhole(fileName);
        const QString folder = supportingFolder(fileName);
        if (!movePictures(fileName, html, folder, QFileInfo(folder).fileName()).isEmpty())
            writeWhole(fileName, html);
    }
    void Close(std::optional<bool>, std::optional<bool>) override
    {
        LoDocument::close(s, doc, QStringLiteral("Document.Close"));
    }

private:
    LoSession &s;
    std::shared_ptr<LoDocument> doc;
    Slot slot;
};

class WriterWord final : public WordApplication {
public:
    explicit WriterWord(LoSession &s) : s(s), slot(std::make_shared<TransferSlot>()) {}
    ~WriterWord() override
    {
        // The remote transferable is released on the worker, like every UNO call.
        s.post([slot = std::move(slot)]() mutable { slot.reset(); });
    }

    void SetDisplayAlerts(int) override {} // a headless office shows nothing
    std::unique_ptr<WordDocument> DocumentsOpen(const QString &fileName) override
    {
        return std::make_unique<WriterDocument>(
            s, LoDocument::open(s, fileName, QStringLiteral("Documents.Open")), slot);
    }
    std::unique_ptr<WordDocument> DocumentsAdd() override
    {
        return std::make_unique<WriterDocument>(
            s, LoDocument::create(s, QStringLiteral("private:factory/swriter"), QStringLiteral("Documents.Add")),
            slot);
    }
    void SetActiveWindowViewType(int) override {} // Writer lays out pages always

private:
    LoSession &s;
    std::shared_ptr<TransferSlot> slot;
};

} // namespace

std::unique_ptr<WordApplication> makeWriterWord(LoSession &s)
{
    return std::make_unique<WriterWord>(s);
}

} // namespace tx::office::lo
