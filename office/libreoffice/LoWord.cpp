// The word processor on Writer. An opened document's pages are served from one
// HTML export cut at the page starts (PageCut): the page calls then only keep
// account of which pages each document holds, and a page document of
// Documents.Add needs no office document until something else is asked of it.
// Where the export cannot be cut, the pages are copied and pasted through the
// controllers' transferables, from the layout's page starts.
#include "HtmlExport.h"
#include "office/WorkFolders.h"
#include "LoApps.h"
#include "LoDocument.h"
#include "PageCut.h"
#include "UnoText.h"
#include "WriterView.h"
#include "core/AutomationError.h"
#include "office/OfficeConstants.h"
#include "office/OfficeFailure.h"

#include <algorithm>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <utility>

#include <QFileInfo>
#include <QList>

namespace tx::office::lo {
namespace {

using css::uno::Reference;

// Pages of one cut export, by their number in the opened document.
struct Pages {
    std::shared_ptr<const PageCut> cut;
    QList<int> numbers;
};

// What one application object's documents share. On the worker only: what a
// real Copy took, for Paste, so that two conversions that interleave through
// the message pump never paste each other's pages; and the last page document,
// emptied for the next one that needs a real document (a new one costs more
// than all the rest of a page). On the caller's thread: the pages a Copy of a
// cut document took instead.
struct TransferSlot {
    Reference<css::datatransfer::XTransferable> content;
    std::shared_ptr<LoDocument> spare;
    std::optional<Pages> pages;
};
using Slot = std::weak_ptr<TransferSlot>;

std::shared_ptr<TransferSlot> lockSlot(const Slot &slot)
{
    auto s = slot.lock();
    if (!s)
        throw css::uno::RuntimeException("the application was released");
    return s;
}

// One document as its handles see it (caller thread).
struct WordDoc {
    std::shared_ptr<LoDocument> doc; // null: a page document not made in the office (yet)
    bool added = false;              // of Documents.Add
    bool closed = false;             // closed while it had no office document

    // An opened document: its pages, once the first page call asked for them.
    int pageCount = -1;
    bool cutTried = false;
    std::optional<Pages> left; // the pages not deleted, while served from the cut
    qsizetype selFrom = 0;     // the selection, as indexes into left->numbers
    qsizetype selTo = 0;

    // A page document without an office document: what was pasted into it.
    std::optional<Pages> held;
    bool wholeSelected = false;
};

void raiseClosed(const QString &what)
{
    raiseRuntime(ErrAutomation, what + QStringLiteral(" failed: the document was closed"));
}

void raiseMixed(const QString &what)
{
    raiseRuntime(ErrInvalidCall, what + QStringLiteral(": pages of the export and of the office in one document"));
}

class WriterCalls {
public:
    WriterCalls(LoSession &s, Slot slot) : s(s), slot(std::move(slot)) {}

    // The office document behind `d`, made now for a page document that has
    // none (nor pages of a cut).
    LoDocument &real(WordDoc &d, const QString &what)
    {
        if (d.closed)
            raiseClosed(what);
        if (d.doc)
            return *d.doc;
        if (d.held && !d.held->numbers.isEmpty())
            raiseMixed(what);
        std::shared_ptr<LoDocument> page = s.call(QStringLiteral("Documents.Add"), [slot = slot] {
            return std::exchange(lockSlot(slot)->spare, nullptr);
        });
        if (!page)
            page = LoDocument::create(s, QStringLiteral("private:factory/swriter"), QStringLiteral("Documents.Add"));
        d.doc = std::move(page);
        d.held.reset();
        return *d.doc;
    }

    int pageCount(WordDoc &d)
    {
        if (d.left)
            return int(d.left->numbers.size());
        if (!d.doc && d.added)
            return qMax<int>(1, d.held ? int(d.held->numbers.size()) : 0);
        real(d, QStringLiteral("the page count"));
        d.pageCount = s.call(QStringLiteral("the page count"), [doc = d.doc] {
            WriterView &view = viewOf(*doc);
            // The layout made whole first: a window just made may still be
            // laid out in the background, and the last page the cursor reaches
            // would then be an earlier one. Pages after the last the text
            // reaches hold only the rest of its notes, which go with the page
            // that cites them, so they are not counted.
            Reference<css::beans::XPropertySet>(view.controller, css::uno::UNO_QUERY_THROW)->getPropertyValue("PageCount");
            const Reference<css::text::XPageCursor> &pages = view.pages;
            pages->jumpToLastPage();
            const int32_t n = pages->getPage();
            pages->jumpToFirstPage();
            return n;
        });
        return d.pageCount;
    }

    // True when an opened document's pages come from its cut export; made at
    // the first page call that needs it.
    bool fromCut(WordDoc &d)
    {
        if (d.added || d.closed || !d.doc)
            return false;
        // Copied page by page on request: where a cut page looks wrong, what the
        // office itself makes of the page is at hand to compare.
        if (!d.cutTried && qEnvironmentVariable("TESSARIX_OFFICE_PAGE_COPY") == u"1") {
            d.cutTried = true;
            d.doc->reloadWithoutComments(s);
        }
        if (!d.cutTried) {
            d.cutTried = true;
            const int n = d.pageCount >= 0 ? d.pageCount : pageCount(d);
            std::shared_ptr<const PageCut> cut;
            try {
                cut = cutIntoPages(s, d.doc, n);
            } catch (const OfficeFailure &) {
                throw;
            } catch (const AutomationError &) {
                cut.reset(); // the office refused a step: the pages are copied instead
            }
            if (!cut)
                d.doc->reloadWithoutComments(s);
            if (cut) {
                Pages all{cut, {}};
                for (int i = 1; i <= n; ++i)
                    all.numbers << i;
                d.left = std::move(all);
            }
        }
        return d.left.has_value();
    }

    // Before a call the cut cannot serve: the deleted pages are deleted in the
    // office too, and the document is the office's from then on.
    void leaveCut(WordDoc &d, const QString &what)
    {
        if (!d.left)
            return;
        const QList<int> &n = d.left->numbers;
        for (qsizetype i = 0; i < n.size(); ++i)
            if (n[i] != i + 1)
                raiseMixed(what);
        const int from = int(n.size()) + 1;
        const bool deleted = from <= d.pageCount;
        d.left.reset();
        if (deleted)
            s.call(what, [doc = d.doc, from] {
                WriterView &view = viewOf(*doc);
                view.pages->jumpToPage(sal_Int16(from));
                view.pages->jumpToStartOfPage();
                startOutsideTables(*doc, sal_Int16(from));
                view.cursor->gotoEnd(true);
                view.cursor->setString(rtl::OUString());
            });
    }

    LoSession &s;
    Slot slot;
};

class WriterSelection final : public WordSelection {
public:
    WriterSelection(std::shared_ptr<WriterCalls> calls, std::shared_ptr<WordDoc> d)
        : c(std::move(calls)), d(std::move(d)) {}
    ~WriterSelection() override = default;

    void GoTo(int what, int count) override
    {
        if (what != wdGoToPage)
            raiseRuntime(ErrInvalidCall, QStringLiteral("Selection.GoTo"));
        if (d->closed)
            raiseClosed(QStringLiteral("Selection.GoTo"));
        if (c->fromCut(*d)) {
            d->selFrom = d->selTo = std::clamp<qsizetype>(qsizetype(count) - 1, 0, qMax<qsizetype>(d->left->numbers.size() - 1, 0));
            return;
        }
        if (!d->doc) { // a page document of no office document has one page
            d->wholeSelected = false;
            return;
        }
        c->s.call(QStringLiteral("Selection.GoTo"), [doc = d->doc, count] {
            WriterView &view = viewOf(*doc);
            const auto page = sal_Int16(qBound(1, count, 32767));
            view.cursor->collapseToStart();
            view.pages->jumpToPage(page);
            view.pages->jumpToStartOfPage();
            startOutsideTables(*doc, page);
        });
    }
    void EndKey(int unit, int extend) override
    {
        if (unit != wdStory)
            raiseRuntime(ErrInvalidCall, QStringLiteral("Selection.EndKey"));
        if (d->closed)
            raiseClosed(QStringLiteral("Selection.EndKey"));
        if (d->left) {
            d->selTo = d->left->numbers.size();
            if (extend != wdExtend)
                d->selFrom = d->selTo;
            return;
        }
        if (!d->doc) {
            d->wholeSelected = extend == wdExtend;
            return;
        }
        c->s.call(QStringLiteral("Selection.EndKey"),
                  [doc = d->doc, extend] { viewOf(*doc).cursor->gotoEnd(extend == wdExtend); });
    }
    void Copy() override
    {
        if (d->closed)
            raiseClosed(QStringLiteral("Selection.Copy"));
        auto shared = lockSlot(c->slot);
        if (d->left) {
            shared->pages = Pages{d->left->cut, d->left->numbers.mid(d->selFrom, d->selTo - d->selFrom)};
            return;
        }
        if (!d->doc) {
            shared->pages = d->wholeSelected && d->held ? *d->held : Pages{};
            return;
        }
        shared->pages.reset();
        c->s.call(QStringLiteral("Selection.Copy"), [doc = d->doc, slot = c->slot] {
            lockSlot(slot)->content = viewOf(*doc).transfers->getTransferable();
        });
    }
    void Paste() override
    {
        const QString what = QStringLiteral("Selection.Paste");
        if (d->closed)
            raiseClosed(what);
        auto shared = lockSlot(c->slot);
        if (shared->pages) {
            if (d->doc || d->left)
                raiseMixed(what);
            if (!d->held || d->wholeSelected || d->held->numbers.isEmpty())
                d->held = *shared->pages;
            else if (d->held->cut == shared->pages->cut)
                d->held->numbers += shared->pages->numbers; // the selection ended at the end
            else
                raiseMixed(what);
            d->wholeSelected = false;
            return;
        }
        if (d->left)
            c->leaveCut(*d, what);
        c->real(*d, what);
        c->s.call(what, [doc = d->doc, slot = c->slot] {
            auto taken = lockSlot(slot);
            if (!taken->content.is())
                return;
            viewOf(*doc).transfers->insertTransferable(taken->content);
        });
    }
    void Delete() override
    {
        if (d->closed)
            raiseClosed(QStringLiteral("Selection.Delete"));
        if (d->left) {
            d->left->numbers.remove(d->selFrom, d->selTo - d->selFrom);
            d->selTo = d->selFrom;
            return;
        }
        if (!d->doc) {
            if (d->wholeSelected)
                d->held.reset();
            d->wholeSelected = false;
            return;
        }
        c->s.call(QStringLiteral("Selection.Delete"),
                  [doc = d->doc] { viewOf(*doc).cursor->setString(rtl::OUString()); });
    }

private:
    std::shared_ptr<WriterCalls> c;
    std::shared_ptr<WordDoc> d;
};

class WriterDocument final : public WordDocument {
public:
    WriterDocument(std::shared_ptr<WriterCalls> calls, std::shared_ptr<WordDoc> d)
        : c(std::move(calls)), d(std::move(d)) {}
    ~WriterDocument() override
    {
        if (d->doc)
            LoDocument::release(c->s, d->doc);
    }

    void Repaginate() override {} // the page count below lays the document out
    int32_t BuiltInDocumentProperties(int id) override
    {
        if (id != wdPropertyPages)
            raiseRuntime(ErrInvalidCall, QStringLiteral("BuiltInDocumentProperties(%1)").arg(id));
        if (d->closed)
            raiseClosed(QStringLiteral("the page count"));
        return c->pageCount(*d);
    }
    std::shared_ptr<WordSelection> WindowsSelection(int index) override
    {
        if (index != 1)
            raiseRuntime(ErrSubscript, QStringLiteral("Windows(%1)").arg(index));
        return std::make_shared<WriterSelection>(c, d);
    }
    void SaveAs(const QString &fileName, int fileFormat, const QString &password) override
    {
        const QString what = QStringLiteral("Document.SaveAs");
        if (fileFormat != wdFormatHTML && fileFormat != wdFormatXMLDocument && fileFormat != wdFormatDocument)
            raiseRuntime(ErrInvalidCall, QStringLiteral("SaveAs format %1").arg(fileFormat));
        if (d->closed)
            raiseClosed(what);
        if (!d->doc && d->held && d->held->cut && fileFormat == wdFormatHTML) {
            writePages(*d->held->cut, d->held->numbers, fileName);
            return;
        }
        c->leaveCut(*d, what);
        c->real(*d, what);
        std::shared_ptr<LoDocument> doc = d->doc;
        if (fileFormat != wdFormatHTML) {
            const char *filter = fileFormat == wdFormatDocument ? "MS Word 97" : "MS Word 2007 XML";
            c->s.call(what, [doc, fileName, filter, password] { doc->storeTo(fileName, filter, {}, password); });
            return;
        }
        c->s.call(what, [doc, fileName] { doc->storeHtml(fileName); });
        QByteArray html = readWhole(fileName);
        const QString folder = supportingFolder(fileName);
        if (!movePictures(fileName, html, folder, QFileInfo(folder).fileName()).isEmpty())
            writeWhole(fileName, html);
    }
    void Close(std::optional<bool>, std::optional<bool>) override
    {
        if (!d->doc) {
            d->closed = true;
            d->held.reset();
            return;
        }
        if (d->added && !d->doc->closed && keptForReuse())
            return;
        d->left.reset();
        LoDocument::close(c->s, d->doc, QStringLiteral("Document.Close"));
    }

private:
    // A page document goes back to its application emptied, as a new one;
    // this handle is closed all the same, so nothing done through it later
    // reaches the next page.
    bool keptForReuse()
    {
        auto next = std::make_shared<LoDocument>();
        bool kept = false;
        try {
            kept = c->s.call(QStringLiteral("Document.Close"), [doc = d->doc, next, slot = c->slot] {
                auto shared = slot.lock();
                if (!shared || shared->spare || !emptiedAgain(*doc))
                    return false;
                std::swap(next->model, doc->model);
                std::swap(next->parts, doc->parts);
                shared->spare = next;
                return true;
            });
        } catch (const OfficeFailure &) {
            throw; // the office stopped: so does the close
        } catch (const AutomationError &) {
            return false; // the office refused the emptying: a plain close then
        }
        if (kept)
            d->doc->closed = true;
        return kept;
    }

    std::shared_ptr<WriterCalls> c;
    std::shared_ptr<WordDoc> d;
};

class WriterWord final : public WordApplication {
public:
    explicit WriterWord(LoSession &s)
        : s(s), slot(std::make_shared<TransferSlot>()), calls(std::make_shared<WriterCalls>(s, slot)) {}
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
        auto d = std::make_shared<WordDoc>();
        d->doc = LoDocument::open(s, fileName, QStringLiteral("Documents.Open"));
        return std::make_unique<WriterDocument>(calls, std::move(d));
    }
    std::unique_ptr<WordDocument> DocumentsAdd() override
    {
        auto d = std::make_shared<WordDoc>();
        d->added = true;
        return std::make_unique<WriterDocument>(calls, std::move(d));
    }
    void SetActiveWindowViewType(int) override {} // Writer lays out pages always

private:
    LoSession &s;
    std::shared_ptr<TransferSlot> slot;
    std::shared_ptr<WriterCalls> calls;
};

} // namespace

std::unique_ptr<WordApplication> makeWriterWord(LoSession &s)
{
    return std::make_unique<WriterWord>(s);
}

} // namespace tx::office::lo
