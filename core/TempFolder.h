#pragma once
// The temporary folder and files with fixed names in it.
#include <QString>

namespace tx::temp {

// TEMP when it is set; otherwise a per-user folder "tessarix-<uid>" under TMPDIR
// or /tmp, created with mode 0700 and refused (error 70) when another user owns
// it or it is not a real folder. Never ends with a separator.
QString folder();

// Creates (or truncates) `path` for writing without following a symbolic link at
// its last component; returns the descriptor or throws the file error.
int createNoFollow(const QString &path);

// Removes `path` when it is a file or a link (never what a link points to);
// a missing file is fine. Returns false on any other failure.
bool removeFile(const QString &path);

} // namespace tx::temp
