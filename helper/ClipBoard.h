#pragma once
// Access to the clipboard's list of copied files for the Helper object.
#include <QString>
#include <QStringList>

namespace tx::ClipBoard {

// True when the clipboard offers a list of copied files.
bool ClipboardHasFileDrop();
// The number of files in the clipboard's list, with their full paths in `files`
// (indexed from 0). 0 and an empty list when there is none.
int ReadClipboardFiles(QStringList &files);
// `s` cut before its first NUL; without a NUL, `s` with the spaces at both ends
// removed.
QString CutAtNull(const QString &s);

} // namespace tx::ClipBoard
