// The clipboard's file lists as the file managers offer them (a uri-list, or
// "copy"/"cut" and URIs): only absolute local paths come out, never more than the
// list has lines, each one the path of a line of the list, and a path written
// back as a file URI reads as itself.
#include "platform/Clipboard.h"

#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

void checkPaths(const QStringList &paths, const QByteArray &list)
{
    check(paths.size() <= list.count('\n') + 1);
    for (const QString &p : paths) {
        check(p.startsWith(QLatin1Char('/')) && !p.contains(QChar(0)));
        // What the path's bytes are, as a file URI, reads back the same.
        const QByteArray native = QFile::encodeName(p);
        if (QFile::decodeName(native) == p)
            check(tx::clipboard::localPathFromUri("file://" + native.toPercentEncoding("/")) == p);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray list(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList uris = tx::clipboard::localPathsFromUriList(list);
    const QStringList copied = tx::clipboard::localPathsFromCopiedFiles(list);
    checkPaths(uris, list);
    checkPaths(copied, list);
    // Without a first line of "copy" or "cut" the two read alike, comments aside.
    if (!list.contains('#') && !list.startsWith("copy") && !list.startsWith("cut"))
        check(uris == copied);

    // Qt keeps these two formats as they came (a text/uri-list it reads into URLs).
    QMimeData offered;
    offered.setData(QStringLiteral("application/x-kde4-urilist"), list);
    check(tx::clipboard::offersFileList(offered) && tx::clipboard::filesFromMimeData(offered) == uris);
    QMimeData gnome;
    gnome.setData(QStringLiteral("x-special/gnome-copied-files"), list);
    check(tx::clipboard::filesFromMimeData(gnome) == copied);
    return 0;
}
