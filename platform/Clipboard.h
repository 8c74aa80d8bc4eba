#pragma once
// The clipboard's list of copied files, as the file managers offer it: a
// text/uri-list, KDE's application/x-kde4-urilist, or the copied-files list of
// GNOME and MATE. Every call reads the clipboard afresh and keeps nothing of it.
#include <QByteArray>
#include <QString>
#include <QStringList>

class QMimeData;

namespace tx::clipboard {

// True when the clipboard offers a file list in one of the known formats.
bool hasFileList();
// The local paths of that list, in the order given; entries that are not local
// files are left out. Empty without a list or without a GUI application.
QStringList fileList();

// The parsing behind them, without a clipboard.
bool offersFileList(const QMimeData &data);
QStringList filesFromMimeData(const QMimeData &data);
// Lines of a text/uri-list (comments and blank lines skipped) to local paths.
QStringList localPathsFromUriList(const QByteArray &list);
// "copy" or "cut" on the first line, then one URI a line.
QStringList localPathsFromCopiedFiles(const QByteArray &list);
// A file:// URI (empty host, "localhost" or this machine's name) to its decoded
// path; empty for anything else, for a relative path, for a broken escape and
// for an embedded NUL.
QString localPathFromUri(QByteArray uri);

} // namespace tx::clipboard
