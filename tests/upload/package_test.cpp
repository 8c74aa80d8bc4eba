#include "core/AutomationError.h"
#include "upload/CompondFile.h"
#include "upload/MultipartBody.h"
#include "util/UserFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tx;

namespace {

const QByteArray kDelim = QByteArray(29, '-') + "7d1c934a05c4";

QByteArray bodyOf(const CompondFile &p)
{
    auto body = MultipartBody::snapshot(p);
    QByteArray out(body->size(), Qt::Uninitialized);
    EXPECT_EQ(body->read(out.data(), out.size()), body->size());
    char extra;
    EXPECT_EQ(body->read(&extra, 1), 0);
    return out;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

QByteArray wire(QString path)
{
    return path.replace(QLatin1Char('/'), QLatin1Char('\\')).toUtf8();
}

} // namespace

TEST(Package, EmptyPackageIs45Bytes)
{
    CompondFile p;
    EXPECT_EQ(bodyOf(p), kDelim + "--\r\n");
    EXPECT_EQ(bodyOf(p).size(), 45);
}

TEST(Package, FilesComeFirstAndBytesAreExact)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("a.txt"), "hello");
    const QString empty = writeFile(dir, QStringLiteral("z.bin"), "");
    CompondFile p;
    p.addFormData(QStringLiteral("curPath"), QStringLiteral("/news/"));
    p.addFormData(QStringLiteral("note"), QString());
    p.AddUploadFile(QStringLiteral("a.txt"), path);
    p.AddUploadFile(QStringLiteral("z.bin"), empty);
    const QByteArray expected = kDelim + "\r\n"
        "Content-Disposition: form-data; name=\"a.txt\"; filename=\"" + wire(path) + "\"\r\n"
        "Content-Type: text/plain\r\n\r\nhello\r\n"
        + kDelim + "\r\n"
        "Content-Disposition: form-data; name=\"z.bin\"; filename=\"" + wire(empty) + "\"\r\n"
        "Content-Type: text/plain\r\n\r\n\r\n"
        + kDelim + "\r\nContent-Disposition: form-data; name=\"curPath\"\r\n\r\n/news/\r\n"
        + kDelim + "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\n\r\n"
        + kDelim + "--\r\n";
    EXPECT_EQ(bodyOf(p), expected);

    // PackageToFile writes the very bytes that are streamed.
    const QString pak = dir.filePath(QStringLiteral("temp.pak"));
    p.PackageToFile(pak);
    QFile f(pak);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), expected);
}

TEST(Package, NamesInCodePageValuesInUtf8)
{
    CompondFile p;
    p.addFormData(QStringLiteral("标题"), QStringLiteral("新闻"));
    const QByteArray b = bodyOf(p);
    EXPECT_TRUE(b.contains("name=\"\xB1\xEA\xCC\xE2\"\r\n\r\n\xE6\x96\xB0\xE9\x97\xBB\r\n"));

    // A name found on disk that is no UTF-8 opens and travels by its own bytes.
    QTemporaryDir dir;
    const QByteArray name = "\xD5\xD5\xFF.txt";
    const QByteArray native = QFile::encodeName(dir.path()) + '/' + name;
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "gbk", 3), 3);
    ::close(fd);
    CompondFile f;
    f.AddUploadFile(userfiles::fromNative(name), userfiles::fromNative(native));
    EXPECT_TRUE(bodyOf(f).contains("name=\"" + name + "\"; filename=\"" + wire(dir.path()) + '\\' + name
                                   + "\"\r\nContent-Type: text/plain\r\n\r\ngbk\r\n"));
    EXPECT_EQ(userfiles::shown(userfiles::fromNative(name)), QStringLiteral("\\xD5\\xD5\\xFF.txt"));
    EXPECT_EQ(userfiles::shown(userfiles::fromNative("\xD5\xD5.txt")), QStringLiteral("照.txt"));
    // Swapped for a FIFO since: refused, named as a person reads it.
    ASSERT_EQ(::unlink(native.constData()), 0);
    ASSERT_EQ(::mkfifo(native.constData(), 0600), 0);
    try {
        bodyOf(f);
        ADD_FAILURE() << "a FIFO was taken as a part";
    } catch (const AutomationError &e) {
        EXPECT_TRUE(e.description.endsWith(userfiles::shown(userfiles::fromNative(native)) + QStringLiteral(" (not a regular file)")))
            << e.description.toStdString();
        EXPECT_TRUE(e.description.endsWith(QStringLiteral("\\xD5\\xD5\\xFF.txt (not a regular file)")));
    }
    EXPECT_EQ(MultipartBody::changedText(userfiles::fromNative(native)),
              QStringLiteral("文件在上传过程中被修改：") + userfiles::shown(userfiles::fromNative(native)));
    ::unlink(native.constData()); // no name the folder's own removal could spell
}

TEST(Package, KeysIgnoreCaseAndKeepTheirErrors)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("A.txt"), "x");
    CompondFile p;
    p.addFormData(QStringLiteral("curPath"), QStringLiteral("1"));
    try {
        p.addFormData(QStringLiteral("CURPATH"), QStringLiteral("2"));
        FAIL() << "duplicate field accepted";
    } catch (const AutomationError &e) {
        EXPECT_EQ(e.number, 457);
        EXPECT_EQ(e.description, QStringLiteral("This key is already associated with an element of this collection"));
    }
    p.AddUploadFile(QStringLiteral("A.txt"), path);
    try {
        p.AddUploadFile(QStringLiteral("other"), path.toUpper());
        FAIL() << "duplicate file accepted";
    } catch (const AutomationError &e) {
        EXPECT_EQ(e.number, 9999);
        EXPECT_EQ(e.source, QStringLiteral("CompondFile:AddUploadFile Method"));
        EXPECT_TRUE(e.description.isEmpty());
    }
    EXPECT_EQ(p.files().size(), 1);
    try {
        p.RemoveFormData(QStringLiteral("missing"));
        FAIL() << "missing key removed";
    } catch (const AutomationError &e) {
        EXPECT_EQ(e.number, 5);
    }
    p.RemoveUploadFile(path.toUpper()); // the same key in other letters
    EXPECT_TRUE(p.files().isEmpty());
    // After RemoveAll an old name is welcome again.
    p.RemoveAll();
    EXPECT_NO_THROW(p.addFormData(QStringLiteral("curpath"), QStringLiteral("3")));
}

TEST(Package, QuotesAndLineBreaksInNamesAreEscaped)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("q\"x.txt"), "x");
    CompondFile p;
    p.addFormData(QStringLiteral("a\"b\r\nc"), QStringLiteral("v\"\r\n"));
    p.AddUploadFile(QStringLiteral("q\"x.txt"), path);
    const QByteArray b = bodyOf(p);
    EXPECT_TRUE(b.contains("name=\"a%22b%0D%0Ac\"\r\n\r\nv\"\r\n\r\n"));
    EXPECT_TRUE(b.contains("name=\"q%22x.txt\"; filename=\"" + wire(dir.path()) + "\\q%22x.txt\""));
}

TEST(Package, BoundaryAvoidsTheData)
{
    QTemporaryDir dir;
    CompondFile p;
    // A saved request body holds the fixed delimiter and "_1" after it.
    const QString path = writeFile(dir, QStringLiteral("saved.pak"), "x\r\n" + kDelim + "\r\n" + kDelim + "_1--\r\n");
    p.AddUploadFile(QStringLiteral("saved.pak"), path);
    auto body = MultipartBody::snapshot(p);
    EXPECT_EQ(body->boundaryToken(), QByteArray(27, '-') + "7d1c934a05c4_2");
    // A value holding the delimiter moves the boundary too.
    CompondFile q;
    q.addFormData(QStringLiteral("v"), QString::fromLatin1(kDelim));
    EXPECT_EQ(MultipartBody::snapshot(q)->boundaryToken(), QByteArray(27, '-') + "7d1c934a05c4_1");
    const QByteArray b = bodyOf(q);
    EXPECT_TRUE(b.startsWith(kDelim + "_1\r\n"));
    EXPECT_TRUE(b.endsWith(kDelim + "_1--\r\n"));
}

TEST(Package, BoundaryScanAcrossWindowsAndFilesCutShort)
{
    // A hit straddling a window edge (8 MiB) is found once.
    BoundaryScan scan(kDelim);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const qint64 edge = qint64(8) << 20;
    f.seek(edge - 10);
    f.write(kDelim + "_7");
    f.flush();
    const qint64 measured = f.size();
    EXPECT_EQ(scan.scanFile(f.handle(), measured), BoundaryScan::Scan::Whole);
    EXPECT_EQ(scan.suffix(), 1);
    // Cut short after it was measured (as by another program mid-scan): reported,
    // never a fault on bytes that are gone.
    ASSERT_TRUE(f.resize(1000));
    BoundaryScan cut(kDelim);
    EXPECT_EQ(cut.scanFile(f.handle(), measured), BoundaryScan::Scan::Short);
    BoundaryScan scan2(kDelim);
    scan2.scanBytes((kDelim + "_1 " + kDelim + "_23").constData(), kDelim.size() * 2 + 6);
    EXPECT_EQ(scan2.suffix(), 3); // 1, 2 and 23 are taken
}

TEST(Package, MissingFileIsFileNotFoundNamingIt)
{
    QTemporaryDir dir;
    const QString there = writeFile(dir, QStringLiteral("there.txt"), "x");
    const struct {
        QString path;
        const char *why;
    } rows[] = {
        {QStringLiteral("/nonexistent/gone.txt"), ""},
        // The kernel would take the name only up to the NUL: another file.
        {there + QChar(0) + QStringLiteral(".gone"), "NUL"},
    };
    for (const auto &r : rows) {
        CompondFile p;
        p.AddUploadFile(QStringLiteral("gone.txt"), r.path);
        try {
            MultipartBody::snapshot(p);
            ADD_FAILURE() << r.path.toStdString();
        } catch (const AutomationError &e) {
            EXPECT_EQ(e.number, 53);
            EXPECT_TRUE(e.description.contains(r.path.left(r.path.indexOf(QChar(0))))) << e.description.toStdString();
            EXPECT_TRUE(e.description.contains(QLatin1String(r.why))) << e.description.toStdString();
        }
    }
}
