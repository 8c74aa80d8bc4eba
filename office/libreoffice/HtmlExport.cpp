#include "HtmlExport.h"

#include "core/AutomationError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

namespace tx::office::lo {

QByteArray readWhole(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw fileError(f.exists() ? EACCES : ENOENT, path);
    return f.readAll();
}

void writeWhole(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw fileError(EACCES, path);
}

QStringList movePictures(const QString &htmlPath, QByteArray &html, const QString &folder,
                         const QString &ref)
{
    const QFileInfo info(htmlPath);
    QDir dir = info.absoluteDir();
    // The export names its pictures after the file's name, "." turned into "_".
    const QStringList pictures = dir.entryList(
        {QString(info.fileName()).replace(QLatin1Char('.'), QLatin1Char('_')) + QStringLiteral("_*")},
        QDir::Files);
    QDir(folder).removeRecursively();
    if (pictures.isEmpty())
        return {};
    if (!QDir().mkpath(folder))
        throw fileError(EACCES, folder);
    for (const QString &name : pictures) {
        const QString target = folder + QLatin1Char('/') + name;
        if (!QFile::rename(dir.filePath(name), target))
            throw fileError(EACCES, target);
        const QByteArray from = name.toUtf8();
        const QByteArray to = (ref + QLatin1Char('/') + name).toUtf8();
        html.replace("\"" + from, "\"" + to);
        html.replace("=" + from, "=" + to);
    }
    return pictures;
}

QList<QByteArray> splitSheets(const QByteArray &html, int count)
{
    const QByteArray lower = html.toLower();
    const qsizetype bodyAt = lower.indexOf("<body");
    const qsizetype bodyEnd = bodyAt < 0 ? -1 : lower.indexOf('>', bodyAt);
    const QByteArray head = bodyEnd < 0 ? QByteArray("<html><head></head>") : html.left(bodyAt);
    const QByteArray bodyTag = bodyEnd < 0 ? QByteArray("<body>") : html.mid(bodyAt, bodyEnd - bodyAt + 1);
    qsizetype end = lower.lastIndexOf("</body>");
    if (end < 0)
        end = html.size();

    // Each sheet begins at its anchor "<a name="tableN">".
    QList<qsizetype> starts;
    for (qsizetype at = lower.indexOf("<a name=\"table"); at >= 0 && at < end;
         at = lower.indexOf("<a name=\"table", at + 1))
        starts << at;
    QList<QByteArray> out;
    for (int i = 0; i < count; ++i) {
        QByteArray section;
        if (i < starts.size()) {
            qsizetype stop = i + 1 < starts.size() ? starts[i + 1] : end;
            const qsizetype rule = lower.lastIndexOf("<hr>", stop - 1);
            if (rule > starts[i] && rule > lower.lastIndexOf("</table>", stop - 1))
                stop = rule;
            section = html.mid(starts[i], stop - starts[i]);
        }
        out << head + bodyTag + "\n" + section + "\n</body>\n</html>\n";
    }
    return out;
}

} // namespace tx::office::lo
