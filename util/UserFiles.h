#pragma once
// The one way the controls open a user's file or folder for reading (a package's
// file parts, a folder walk, a document to import, a picture, a linked file).
// Where the process has path grants installed (the browser bridge's worker), the
// grants judge what is opened, not the text of the path: the path is resolved
// beneath each granted folder by the kernel (openat2 with RESOLVE_BENEATH), or,
// where the kernel has no openat2, the descriptor's real path is read back. A
// file swapped for a link to elsewhere after it was named is refused then.
// Without grants every path opens as it always did.
//
// Names found on disk may not be UTF-8. Such a name keeps its bytes inside a
// QString: each of its bytes from 0x80 up is held as the lone surrogate
// U+DC00 + byte, so that the name opens again by its bytes.
#include "core/AutomationError.h"

#include <QByteArray>
#include <QString>

namespace tx::userfiles {

// The bytes the kernel is given for `path`, and back.
QByteArray nativeName(QStringView path);
QString fromNative(QByteArrayView bytes);
// Whether the path holds bytes that are no UTF-8.
bool hasRawBytes(QStringView path);
// The path as a person reads it: raw bytes in the legacy code page where they
// convert, else each written as \xHH.
QString shown(QStringView path);
// Text in the legacy code page, raw bytes as they are (a part head's names).
QByteArray legacyBytes(QStringView text);

// A descriptor for the file or folder (open(2)'s flags; O_CLOEXEC is added), or
// -1 with errno set and `why` saying why in words: a path holding a NUL is
// refused before anything else (ENOENT), one outside the grants with EACCES.
int open(const QString &path, int flags, QString *why = nullptr);
// The same, failing with the file error that names the path and why (53, 70, 75, 76).
int openOrThrow(const QString &path, int flags);
AutomationError openError(int err, const QString &path, const QString &why);

// Tests: judge by the descriptor's real path, as where the kernel has no openat2.
void judgeByRealPath(bool on);

// Copies the user's regular file `source` to the new file `target` (mode 0600).
void copyTo(const QString &source, const QString &target);

} // namespace tx::userfiles
