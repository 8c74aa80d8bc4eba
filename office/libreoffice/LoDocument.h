#pragma once
// A document opened hidden from a copy in the work folder, so the user's file is
// never opened for writing and no lock file appears beside it.
#include "LoSession.h"

#include <QString>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/Sequence.hxx>
#include <memory>

namespace tx::office::lo {

struct LoDocument {
    css::uno::Reference<css::lang::XComponent> model; // worker only
    // What a kind's calls look up of the model once, to spare the office the
    // questions on every page (worker only).
    std::shared_ptr<void> parts;
    // Worker only: what shows a document opened without a window, in a hidden
    // one, when a call first needs its layout.
    css::uno::Reference<css::frame::XComponentLoader> shownLater;
    QString copyPath; // the copy; removed when the document closes
    bool closed = false;
    // Comments were taken out at the load (a text document's view cannot show
    // them here); the marks of ranged ones stay behind, and a copy of a page
    // holding one ends the office.
    bool hadComments = false;

    // Caller thread: copies `source` into the work folder and opens the copy.
    static std::shared_ptr<LoDocument> open(LoSession &s, const QString &source, const QString &what);
    // A new empty document of a factory ("private:factory/swriter").
    static std::shared_ptr<LoDocument> create(LoSession &s, const QString &factory, const QString &what);

    // Caller thread: after comments were taken out, the document is saved and
    // opened again from that save, which holds no marks of them, before its
    // pages are copied.
    void reloadWithoutComments(LoSession &s);
    // Worker: drops the model and what was looked up of it.
    void forget();
    // Worker: gives a document opened without a window its (hidden) one.
    void show();
    // Worker: stores a copy under `path` with the named filter, locked with
    // `password` when one is given, with the filter's `options` when given.
    void storeTo(const QString &path, const char *filter,
                 const css::uno::Sequence<css::beans::PropertyValue> &filterData = {},
                 const QString &password = {}, const char *options = nullptr) const;

    // Worker: stores a text document as HTML under `path`, as the office's
    // HTML export writes it.
    void storeHtml(const QString &path) const;

    // Caller thread: closes without saving and removes the copy.
    static void close(LoSession &s, const std::shared_ptr<LoDocument> &doc, const QString &what);
    // From a destructor: closes later if still open, never throws.
    static void release(LoSession &s, std::shared_ptr<LoDocument> doc);
    // Worker: what release() does there, at once; never throws.
    static void discard(std::shared_ptr<LoDocument> doc);
};

} // namespace tx::office::lo
