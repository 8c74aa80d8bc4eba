#pragma once
// File-system and text helpers shared by the import controls. They hold no state.
// The textual ones (ToBackslash, GetFileName, GetFileExt) accept "/" and "\"
// alike; the ones that touch the file system write paths with "/".
#include <QString>

namespace tx::util {

// Creates a new, empty file named <first three characters of prefix> + hex digits
// + ".tmp" in `folder`, exclusively, so that two processes never get the same name.
// Returns its full path. A folder where no file can be made: error 75 naming it.
QString GetTempFile(const QString &folder, const QString &prefix);

// Creates every missing folder of `path`, top down. Relative paths start at the
// current folder, absolute ones at "/". Empty elements (a trailing or doubled
// separator) make nothing extra.
void MakeFolders(const QString &path);

// Every "/" becomes "\".
QString ToBackslash(const QString &text);

// Deletes the folder (one trailing separator allowed) with everything in it,
// read-only entries included. Symbolic links are removed, never followed.
// A missing folder is error 76; the root folder is refused (75).
void RemoveFolder(const QString &path);

// The text after the last separator of the space-trimmed path, or the whole.
QString GetFileName(const QString &path);

// The whole text of a file, every line followed by CR LF. A file that starts with
// the UTF-8 byte-order mark or is valid UTF-8 throughout is read as UTF-8, any
// other in the legacy code page. Lines end at CR LF, LF or a lone CR. A file that
// cannot be read gives the empty string.
QString ReadTextFile(const QString &path);
// The same for a file that must be there: one that cannot be opened or read
// fails with the file error naming `path` (53, 70, 75 or 76).
QString ReadExistingTextFile(const QString &path);
// The same for a user's file, opened as util/UserFiles opens them.
QString ReadUserTextFile(const QString &path);

// The text after the last "." (letter case kept), or empty when there is none.
QString GetFileExt(const QString &name);

} // namespace tx::util
