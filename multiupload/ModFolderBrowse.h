#pragma once
// The folder picker of the folder upload control.
#include <QString>

namespace tx::ModFolder_Browse {

// The folder the user picks, ending with "/"; empty when the picker is cancelled.
QString BrowseForFolder();
// `path` with a "/" appended unless it ends with one.
QString AddBackslash(const QString &path);

} // namespace tx::ModFolder_Browse
