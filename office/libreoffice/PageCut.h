#pragma once
// A text document's pages served from one HTML export: the page starts found
// from the layout and marked in the work copy, the document exported once and
// the marks taken out again, the export cut at the marks. A page's "save as
// HTML" then writes its part and its pictures.
#include "LoDocument.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

namespace tx::office::lo {

struct PageCut {
    QByteArray head;
    QByteArray bodyTag;
    QList<QByteArray> pages; // page i at i-1
    QString pictures;        // the folder the export's pictures were moved to
    QString pictureRef;      // how the pages' addresses name that folder
    QStringList pictureNames;
};

// Caller thread. The pages of the open document `doc` of `pages` pages, or
// null when the export cannot be cut at every page start (the pages are then
// copied one by one). Office failures are thrown as by any call.
std::shared_ptr<const PageCut> cutIntoPages(LoSession &s, const std::shared_ptr<LoDocument> &doc, int pages);

// Writes the pages numbered `pages` (from 1) as one HTML file at `fileName`,
// their pictures in its supporting folder (emptied first), as the export of a
// document holding just those pages would.
void writePages(const PageCut &cut, const QList<int> &pages, const QString &fileName);

// What a document's pages leave in the work folder beside its copy.
QString exportFileOf(const QString &copyPath);
QString pagePicturesOf(const QString &copyPath);

} // namespace tx::office::lo
