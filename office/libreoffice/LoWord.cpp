// The word processor on Writer: pages from the layout through the view cursor,
// copy and paste through the controllers' transferables.
#include "HtmlExport.h"
#include "office/WorkFolders.h"
#include "LoApps.h"
#include "LoDocument.h"
#include "UnoText.h"
#include "WriterView.h"
#include "core/AutomationError.h"
#include "office/OfficeConstants.h"
#include "office/OfficeFailure.h"

#include <utility>

#include <QFileInfo>

namespace tx::office::lo {
namespace {

using css::uno::Reference;

// What one application object's documents share, touched on the worker only:
// what Copy took, for Paste, so that two conversions that interleave through
// the message pump never paste each other's pages; and the last page document,
// emptied for the next Documents.Add (a new document costs more than all the
// rest of a page).
struct TransferSlot {
    Reference<css::datatransfer::XTransferable> content;
    std::shared_ptr<LoDocument> spare;
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
            WriterView &view = viewOf(*d);
            const auto page = sal_Int16(qBound(1, count, 32767));
            view.cursor->collapseToStart();
            view.pages->jumpToPage(page);
            view.pages->jumpToStartOfPage();
            startOutsideTables(*d, page);
        });
    }
    void EndKey(int unit, int extend) override
    {
        if (unit != wdStory)
            raiseRuntime(ErrInvalidCall, QStringLiteral("Selection.EndKey"));
        s.call(QStringLiteral("Selection.EndKey"),
               [d = doc, extend] { viewOf(*d).cursor->gotoEnd(extend == wdExtend); });
    }
    void Copy() override
    {
        s.call(QStringLiteral("Selection.Copy"), [d = doc, slot = slot] {
            lockSlot(slot)->content = viewOf(*d).transfers->getTransferable();
        });
    }
    void Paste() override
    {
        s.call(QStringLiteral("Selection.Paste"), [d = doc, slot = slot] {
            auto taken = lockSlot(slot);
            if (!taken->content.is())
                return;
            viewOf(*d).transfers->insertTransferable(taken->content);
        });
    }
    void Delete() override
    {
        s.call(QStringLiteral("Selection.Delete"), [d = doc] { viewOf(*d).cursor->setString(rtl::OUString()); });
    }

private:
    LoSession &s;
    std::shared_ptr<LoDocument> doc;
    Slot slot;
};

class WriterDocument final : public WordDocument {
public:
    WriterDocument(LoSession &s, std::shared_ptr<LoDocument> doc, Slot slot, bool added = false)
        : s(s), doc(std::move(doc)), slot(std::move(slot)), added(added) {}
    ~WriterDocument() override { LoDocument::release(s, std::move(doc)); }

    void Repaginate() override {} // the page count below lays the document out
    int32_t BuiltInDocumentProperties(int id) override
    {
        if (id != wdPropertyPages)
            raiseRuntime(ErrInvalidCall, QStringLiteral("BuiltInDocumentProperties(%1)").arg(id));
        return s.call(QStringLiteral("the page count"), [d = doc] {
            const Reference<css::text::XPageCursor> &pages = viewOf(*d).pages;
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
    void SaveAs(const QString &fileName, int fileFormat, const QString &password) override
    {
        if (fileFormat == wdFormatXMLDocument || fileFormat == wdFormatDocument) {
            const char *filter = fileFormat == wdFormatDocument ? "MS Word 97" : "MS Word 2007 XML";
            s.call(QStringLiteral("Document.SaveAs"),
                   [d = doc, fileName, filter, password] { d->storeTo(fileName, filter, {}, password); });
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
        if (added && !doc->closed && keptForReuse())
            return;
        LoDocument::close(s, doc, QStringLiteral("Document.Close"));
    }

private:
    // A document of Documents.Add goes back to its application emptied, as a new
    // one; this handle is closed all the same, so nothing done through it later
    // reaches the next page.
    bool keptForReuse()
    {
        auto next = std::make_shared<LoDocument>();
        bool kept = false;
        try {
            kept = s.call(QStringLiteral("Document.Close"), [d = doc, next, slot = slot] {
                auto shared = slot.lock();
                if (!shared || shared->spare || !emptiedAgain(*d))
                    return false;
                std::swap(next->model, d->model);
                std::swap(next->parts, d->parts);
                shared->spare = next;
                return true;
            });
        } catch (const OfficeFailure &) {
            throw; // the office stopped: so does the close
        } catch (const AutomationError &) {
            return false; // the office refused the emptying: a plain close then
        }
        if (kept)
            doc->closed = true;
        return kept;
    }

    LoSession &s;
    std::shared_ptr<LoDocument> doc;
    Slot slot;
    const bool added;
};

class WriterWord final : public WordApplication {
public:
    explicit WriterWord(LoSession &s) : s(s), slot(std::make_shared<TransferSlot>()) {}
    ~WriterWord() override
    {
        // The remote transferable is released on the worker, like every UNO call,
        // and the spare page document closed there, before any later call counts
        // the instance's documents (a worn one is restarted only when it has none).
        s.post([slot = std::move(slot)]() mutable {
            LoDocument::discard(std::move(slot->spare));
            slot.reset();
        });
    }

    void SetDisplayAlerts(int) override {} // a headless office shows nothing
    std::unique_ptr<WordDocument> DocumentsOpen(const QString &fileName) override
    {
        return std::make_unique<WriterDocument>(
            s, LoDocument::open(s, fileName, QStringLiteral("Documents.Open")), slot);
    }
    std::unique_ptr<WordDocument> DocumentsAdd() override
    {
        std::shared_ptr<LoDocument> page = s.call(QStringLiteral("Documents.Add"), [slot = slot] {
            return std::exchange(slot->spare, nullptr);
        });
        if (!page)
            page = LoDocument::create(s, QStringLiteral("private:factory/swriter"), QStringLiteral("Documents.Add"));
        return std::make_unique<WriterDocument>(s, std::move(page), slot, true);
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
