#include "helper/ClipBoard.h"

#include "platform/Clipboard.h"
#include "util/Text.h"

namespace tx::ClipBoard {

bool ClipboardHasFileDrop()
{
    return clipboard::hasFileList();
}

int ReadClipboardFiles(QStringList &files)
{
    // The paths come whole and unterminated, so there is no buffer to cut at a
    // NUL and no length limit: a long path is never shortened into another one.
    files = clipboard::fileList();
    return int(files.size());
}

QString CutAtNull(const QString &s)
{
    const qsizetype nul = s.indexOf(QChar(u'\0'));
    if (nul >= 0)
        return s.left(nul);
    return util::trimSpaces(s).toString();
}

} // namespace tx::ClipBoard
