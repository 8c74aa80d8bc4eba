#pragma once
// What the Writer calls ask of a text document, looked up once per document
// instead of on every page: each question is a round trip to the office.
#include "LoDocument.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XElementAccess.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/datatransfer/XTransferableSupplier.hpp>
#include <com/sun/star/document/XUndoManager.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>

namespace tx::office::lo {

// Worker only.
struct WriterView {
    css::uno::Reference<css::frame::XController> controller;
    css::uno::Reference<css::text::XTextViewCursor> cursor;
    css::uno::Reference<css::text::XPageCursor> pages;
    css::uno::Reference<css::beans::XPropertySet> cursorProperties;
    css::uno::Reference<css::datatransfer::XTransferableSupplier> transfers;
    css::uno::Reference<css::text::XText> body; // the main text
    // For emptying a page document; looked up when first emptied.
    css::uno::Reference<css::document::XUndoManager> undo;
    css::uno::Reference<css::container::XEnumerationAccess> paragraphs;
    css::uno::Reference<css::container::XElementAccess> drawPage;
    // The document's windows kept from following its changes since its pages
    // were cut: let go when a call next needs the window. A document closed
    // before then is never laid out again.
    css::uno::Reference<css::frame::XModel> heldStill;
};

// The document's window parts; a RuntimeException when it has no window.
WriterView &viewOf(LoDocument &doc);

// Moves the cursor, at the start of `page`, out of the table it landed in: a
// selection from a cell ends at the cell's end, and deleting it deletes
// nothing, so the page cut has to start outside. A table that begins on the
// page gets a new empty paragraph before it, where the page then starts (the
// document is a work copy, never saved); one carried over from an earlier page
// stays with that page, and this one starts after it.
void startOutsideTables(LoDocument &doc, sal_Int16 page);

// Undoes everything done to a new document; true when it is as empty as new:
// one empty paragraph, nothing on the draw page (frames, pictures and shapes
// anchored anywhere, the page included). Writer never ends a text with a
// table, so one paragraph also means no table.
bool emptiedAgain(LoDocument &doc);

} // namespace tx::office::lo
