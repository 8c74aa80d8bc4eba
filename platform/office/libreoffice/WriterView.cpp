#include "WriterView.h"

#include <com/sun/star/document/XUndoManagerSupplier.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>

namespace tx::office::lo {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

WriterView &viewOf(LoDocument &doc)
{
    if (auto *known = static_cast<WriterView *>(doc.parts.get()))
        return *known;
    auto view = std::make_shared<WriterView>();
    Reference<css::frame::XModel> model(doc.model, UNO_QUERY_THROW);
    view->controller = model->getCurrentController();
    if (!view->controller.is())
        throw css::uno::RuntimeException("the document has no window");
    Reference<css::text::XTextViewCursorSupplier> cursors(view->controller, UNO_QUERY_THROW);
    view->cursor = cursors->getViewCursor();
    view->pages.set(view->cursor, UNO_QUERY_THROW);
    view->transfers.set(view->controller, UNO_QUERY_THROW);
    view->body = Reference<css::text::XTextDocument>(doc.model, UNO_QUERY_THROW)->getText();
    doc.parts = view;
    return *view;
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
    bool more = view.undo->isUndoPossible();
    for (int i = 0; i < 64 && more; ++i) {
        view.undo->undo();
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
