#include "WriterView.h"

#include <com/sun/star/document/EmptyUndoStackException.hpp>
#include <com/sun/star/document/XUndoManagerSupplier.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/text/XRelativeTextContentInsert.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextTable.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <utility>

namespace tx::office::lo {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

WriterView &viewOf(LoDocument &doc)
{
    if (auto *known = static_cast<WriterView *>(doc.parts.get())) {
        if (const auto held = std::exchange(known->heldStill, {}); held.is())
            held->unlockControllers();
        return *known;
    }
    doc.show();
    auto view = std::make_shared<WriterView>();
    Reference<css::frame::XModel> model(doc.model, UNO_QUERY_THROW);
    view->controller = model->getCurrentController();
    if (!view->controller.is())
        throw css::uno::RuntimeException("the document has no window");
    Reference<css::text::XTextViewCursorSupplier> cursors(view->controller, UNO_QUERY_THROW);
    view->cursor = cursors->getViewCursor();
    view->pages.set(view->cursor, UNO_QUERY_THROW);
    view->cursorProperties.set(view->cursor, UNO_QUERY_THROW);
    view->transfers.set(view->controller, UNO_QUERY_THROW);
    view->body = Reference<css::text::XTextDocument>(doc.model, UNO_QUERY_THROW)->getText();
    doc.parts = view;
    return *view;
}

namespace {

Reference<css::text::XTextTable> tableAtCursor(WriterView &view)
{
    return Reference<css::text::XTextTable>(view.cursorProperties->getPropertyValue("TextTable"), UNO_QUERY);
}

// Puts an empty paragraph ahead of a table in the main text; false when the
// office will not (a table inside another one's cell).
bool paragraphBefore(LoDocument &doc, WriterView &view, const Reference<css::text::XTextTable> &table)
{
    Reference<css::lang::XMultiServiceFactory> factory(doc.model, UNO_QUERY_THROW);
    Reference<css::text::XTextContent> paragraph(factory->createInstance("com.sun.star.text.Paragraph"),
                                                  UNO_QUERY_THROW);
    Reference<css::text::XRelativeTextContentInsert> text(view.body, UNO_QUERY_THROW);
    try {
        // The one call that puts a paragraph ahead of a table.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        text->insertTextContentBefore(paragraph, Reference<css::text::XTextContent>(table, UNO_QUERY_THROW));
#pragma GCC diagnostic pop
        return true;
    } catch (const css::lang::IllegalArgumentException &) {
        return false; // a table inside another one's cell
    }
}

} // namespace

void startOutsideTables(LoDocument &doc, sal_Int16 page)
{
    WriterView &view = viewOf(doc);
    for (int depth = 0; depth < 8; ++depth) { // tables in tables, each left in turn
        const Reference<css::text::XTextTable> table = tableAtCursor(view);
        if (!table.is())
            return;
        const css::uno::Sequence<rtl::OUString> cells = table->getCellNames();
        if (!cells.hasElements())
            return;
        Reference<css::text::XText> first(table->getCellByName(cells[0]), UNO_QUERY_THROW);
        view.cursor->gotoRange(first->getStart(), false);
        if (view.pages->getPage() == page) {
            // The page starts on an empty paragraph of its own just ahead of the
            // table, rather than in the paragraph before it (whose list or
            // heading would come along); inside another table's cell, at the
            // end of what comes before.
            const bool made = paragraphBefore(doc, view, table);
            if (made)
                view.cursor->gotoRange(first->getStart(), false);
            view.cursor->goLeft(1, false);
            if (tableAtCursor(view) == table)
                return; // nothing ahead of it after all
            if (made) {
                // It takes the list and style of the paragraph before; plain
                // instead, so that no empty list item comes along.
                view.cursorProperties->setPropertyValue("NumberingStyleName", css::uno::Any(rtl::OUString()));
                view.cursorProperties->setPropertyValue("ParaStyleName", css::uno::Any(rtl::OUString("Standard")));
            }
        } else {
            Reference<css::text::XText> last(table->getCellByName(cells[cells.getLength() - 1]), UNO_QUERY_THROW);
            view.cursor->gotoRange(last->getEnd(), false);
            view.cursor->goRight(1, false);
        }
    }
}

namespace {

bool undoneAndEmpty(LoDocument &doc)
{
    WriterView &view = viewOf(doc);
    if (!view.undo.is()) {
        Reference<css::document::XUndoManagerSupplier> undo(doc.model, UNO_QUERY);
        // A text document has the one draw page; the interface for several is
        // not there to use instead.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        Reference<css::drawing::XDrawPageSupplier> page(doc.model, UNO_QUERY);
        if (!undo.is() || !page.is())
            return false;
        view.drawPage.set(page->getDrawPage(), UNO_QUERY_THROW);
#pragma GCC diagnostic pop
        view.paragraphs.set(view.body, UNO_QUERY_THROW);
        view.undo = undo->getUndoManager();
    }
    // A paste is one step, and a page document nothing was pasted into has none;
    // the bound only guards against an office that keeps offering more.
    bool more = true;
    for (int i = 0; i < 64 && more; ++i) {
        try {
            view.undo->undo();
        } catch (const css::document::EmptyUndoStackException &) {
            more = false; // nothing to undo: as it was made
            break;
        }
        more = view.undo->isUndoPossible();
    }
    if (more)
        return false;
    Reference<css::container::XEnumeration> all = view.paragraphs->createEnumeration();
    Reference<css::text::XTextRange> first(all->nextElement(), UNO_QUERY);
    return first.is() && !all->hasMoreElements() && first->getString().isEmpty() && !view.drawPage->hasElements();
}

} // namespace

bool emptiedAgain(LoDocument &doc)
{
    try {
        return undoneAndEmpty(doc);
    } catch (const css::uno::RuntimeException &) {
        throw; // the office itself; the session tells
    } catch (const css::uno::Exception &) {
        return false; // an undo the office refuses: the document is closed instead
    }
}

} // namespace tx::office::lo
