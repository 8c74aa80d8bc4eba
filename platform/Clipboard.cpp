#include "platform/Clipboard.h"

#include "platform/XSelection.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QSysInfo>

#include <cctype>
#include <memory>

namespace tx::clipboard {
namespace {

const char kUriList[] = "text/uri-list";
const char kKdeUriList[] = "application/x-kde4-urilist";
const char kGnomeCopied[] = "x-special/gnome-copied-files";
const char kMateCopied[] = "x-special/mate-copied-files";

// Producers differ in how they end lines and the list: CR LF, LF, a final NUL.
QList<QByteArray> lines(const QByteArray &list)
{
    QList<QByteArray> out;
    for (QByteArray line : list.split('\n')) {
        while (!line.isEmpty() && (line.endsWith('\r') || line.endsWith('\0')))
            line.chop(1);
        out.append(line.trimmed());
    }
    return out;
}

const QMimeData *qtData()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return nullptr;
    QClipboard *board = QGuiApplication::clipboard();
    return board ? board->mimeData(QClipboard::Clipboard) : nullptr;
}

// An owner of the X selection answers at once; one that does not is not waited for.
constexpr int kSelectionMs = 2000;

// The clipboard as this process may read it. Qt's Wayland clipboard is empty for a
// process without a focused window (the page host's script, a bridge worker), but
// Xwayland's selection, which the compositor keeps in step, is not.
std::unique_ptr<QMimeData> currentData()
{
    auto data = std::make_unique<QMimeData>();
    const QStringList formats{QLatin1String(kUriList), QLatin1String(kKdeUriList), QLatin1String(kGnomeCopied),
                              QLatin1String(kMateCopied)};
    const QMimeData *qt = qtData();
    if (qt && offersFileList(*qt)) {
        for (const QString &f : formats)
            if (qt->hasFormat(f))
                data->setData(f, qt->data(f));
    } else if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) &&
               !qEnvironmentVariableIsEmpty("DISPLAY")) {
        for (const auto &[format, bytes] : xselection::read(formats, kSelectionMs))
            data->setData(format, bytes);
    }
    return data;
}

} // namespace

QString localPathFromUri(QByteArray uri)
{
    if (!uri.left(5).toLower().startsWith("file:"))
        return {};
    uri.remove(0, 5);
    if (uri.startsWith("//")) {
        const qsizetype slash = uri.indexOf('/', 2);
        if (slash < 0)
            return {};
        const QByteArray host = uri.mid(2, slash - 2).toLower();
        if (!host.isEmpty() && host != "localhost"
            && host != QSysInfo::machineHostName().toUtf8().toLower())
            return {};
        uri.remove(0, slash);
    }
    if (!uri.startsWith('/'))
        return {};
    // A query or fragment is not part of a file's path; literal "?" and "#" in
    // names arrive percent-encoded.
    const qsizetype cut = uri.indexOf('?') >= 0 ? uri.indexOf('?') : uri.indexOf('#');
    if (cut >= 0)
        uri.truncate(cut);
    // Every "%" starts an escape of two hex digits: decoded as is, a broken one
    // would name some other file.
    for (qsizetype i = uri.indexOf('%'); i >= 0; i = uri.indexOf('%', i + 1))
        if (i + 2 >= uri.size() || !isxdigit(uchar(uri[i + 1])) || !isxdigit(uchar(uri[i + 2])))
            return {};
    const QByteArray native = QByteArray::fromPercentEncoding(uri);
    if (native.contains('\0'))
        return {};
    return QFile::decodeName(native);
}

QStringList localPathsFromUriList(const QByteArray &list)
{
    QStringList out;
    for (const QByteArray &line : lines(list)) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QString path = localPathFromUri(line);
        if (!path.isEmpty())
            out.append(path);
    }
    return out;
}

QStringList localPathsFromCopiedFiles(const QByteArray &list)
{
    QList<QByteArray> all = lines(list);
    if (!all.isEmpty() && (all.first() == "copy" || all.first() == "cut"))
        all.removeFirst();
    QStringList out;
    for (const QByteArray &line : all) {
        const QString path = localPathFromUri(line);
        if (!path.isEmpty())
            out.append(path);
    }
    return out;
}

bool offersFileList(const QMimeData &data)
{
    for (const char *f : {kUriList, kKdeUriList, kGnomeCopied, kMateCopied})
        if (data.hasFormat(QLatin1String(f)))
            return true;
    return false;
}

QStringList filesFromMimeData(const QMimeData &data)
{
    // The first format offered decides; the others repeat the same list.
    for (const char *f : {kUriList, kKdeUriList})
        if (data.hasFormat(QLatin1String(f)))
            return localPathsFromUriList(data.data(QLatin1String(f)));
    for (const char *f : {kGnomeCopied, kMateCopied})
        if (data.hasFormat(QLatin1String(f)))
            return localPathsFromCopiedFiles(data.data(QLatin1String(f)));
    return {};
}

bool hasFileList()
{
    return offersFileList(*currentData());
}

QStringList fileList()
{
    return filesFromMimeData(*currentData());
}

} // namespace tx::clipboard
