#include "core/AutomationError.h"
#include "core/CodePage.h"
#include "core/PathGrants.h"
#include "util/FileUtils.h"
#include "util/UserFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace tx::util;

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

int errorNumber(const std::function<void()> &f, QString *description = nullptr)
{
    try {
        f();
    } catch (const tx::AutomationError &e) {
        if (description)
            *description = e.description;
        return e.number;
    }
    return 0;
}

struct TextCase {
    QString in, out;
};

TEST(TextualFunctions, AcceptBothSeparators)
{
    EXPECT_EQ(ToBackslash("C:/a\\b/c"), "C:\\a\\b\\c");
    const TextCase names[] = {
        {"C:/x/y.doc", "y.doc"}, {"  y.doc  ", "y.doc"}, {"a\\b/c.txt", "c.txt"},
        {"/tmp/dir/", ""},       {"\t y.doc", "\t y.doc"}, {"", ""},
    };
    for (const auto &c : names)
        EXPECT_EQ(GetFileName(c.in), c.out) << c.in.toStdString();
    const TextCase exts[] = {
        {"report.final.DOCX", "DOCX"}, {"README", ""}, {"C:\\a.b\\file", "b\\file"},
        {"/a.b/file", "b/file"},       {"x.", ""},
    };
    for (const auto &c : exts)
        EXPECT_EQ(GetFileExt(c.in), c.out) << c.in.toStdString();
}

class FileUtils : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString &rel) const { return dir.filePath(rel); }
    QTemporaryDir dir;
};

TEST_F(FileUtils, TempFilesAreNewEmptyAndDistinct)
{
    const QRegularExpression name(QStringLiteral("^htm[0-9A-F]{1,4}\\.tmp$"));
    QSet<QString> seen;
    for (int i = 0; i < 50; ++i) {
        const QString p = GetTempFile(dir.path(), QStringLiteral("html"));
        const QFileInfo fi(p);
        EXPECT_EQ(fi.absolutePath(), dir.path());
        EXPECT_TRUE(name.match(fi.fileName()).hasMatch()) << p.toStdString();
        EXPECT_TRUE(fi.isFile());
        EXPECT_EQ(fi.size(), 0);
        EXPECT_FALSE(seen.contains(p));
        seen.insert(p);
    }
    // A trailing separator adds no empty element.
    EXPECT_EQ(QFileInfo(GetTempFile(dir.path() + "/", "htm")).absolutePath(), dir.path());
}

TEST_F(FileUtils, TempFileInMissingFolderNamesIt)
{
    QString description;
    const QString missing = path("missing");
    EXPECT_EQ(errorNumber([&] { GetTempFile(missing, "htm"); }, &description), tx::ErrPathFileAccess);
    EXPECT_TRUE(description.contains(missing));
}

TEST_F(FileUtils, MakeFoldersCreatesWhatIsMissing)
{
    ASSERT_TRUE(QDir().mkpath(path("a")));
    // Absolute, with a trailing separator, a doubled one and a backslash.
    MakeFolders(path("a/b//c\\d/"));
    EXPECT_TRUE(QFileInfo(path("a/b/c/d")).isDir());
    MakeFolders(path("a/b/c/d")); // again: nothing to do, no error
    EXPECT_EQ(QDir(path("a/b")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"c"});

    // Relative paths start at the current folder.
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    MakeFolders("r/s/t");
    QDir::setCurrent(old);
    EXPECT_TRUE(QFileInfo(path("r/s/t")).isDir());

    writeFile(path("file"), "x");
    EXPECT_NE(errorNumber([&] { MakeFolders(path("file/sub")); }), 0);
}

TEST_F(FileUtils, RemoveFolderTakesEverything)
{
    MakeFolders(path("t/x.files/sub"));
    writeFile(path("t/x.files/a.png"), "png");
    writeFile(path("t/x.files/sub/b.png"), "png");
    writeFile(path("outside.txt"), "keep");
    QFile::link(path("outside.txt"), path("t/x.files/link"));
    QFile::setPermissions(path("t/x.files/a.png"), QFileDevice::ReadOwner);
    QFile::setPermissions(path("t/x.files/sub"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    RemoveFolder(path("t/x.files/"));
    EXPECT_FALSE(QFileInfo::exists(path("t/x.files")));
    EXPECT_TRUE(QFileInfo(path("t")).isDir());
    EXPECT_TRUE(QFileInfo(path("outside.txt")).isFile()); // the link's target stays

    EXPECT_EQ(errorNumber([&] { RemoveFolder(path("t/x.files")); }), tx::ErrPathNotFound);
    EXPECT_EQ(errorNumber([&] { RemoveFolder(path("outside.txt")); }), tx::ErrPathNotFound);
}

TEST_F(FileUtils, ReadTextFileEndsEveryLineWithCrLf)
{
    const struct {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"a\nb", "a\r\nb\r\n"},
        {"a\r\nb\r\n", "a\r\nb\r\n"},
        {"a\rb\n\n", "a\r\nb\r\n\r\n"},
        {"", ""},
        {"\n", "\r\n"},
        {"\xEF\xBB\xBF\xE6\x98\xA5", "春\r\n"},                        // UTF-8 with its mark
        {"\xE6\x98\xA5\xE5\xA4\xA9\n", "春天\r\n"},                   // valid UTF-8
        {tx::codepage::encodeAs(u"春天", "936") + "\n", "春天\r\n"}, // the legacy code page
    };
    for (const auto &c : cases) {
        writeFile(path("t.txt"), c.bytes);
        EXPECT_EQ(ReadTextFile(path("t.txt")), c.text) << c.bytes.toHex().toStdString();
    }
    EXPECT_EQ(ReadTextFile(path("missing.txt")), QString());
    EXPECT_EQ(ReadTextFile(dir.path()), QString());
}

} // namespace

// What is opened is judged, not the text: beneath a granted folder or the granted
// file itself, by the kernel or by the descriptor's real path alike.
TEST_F(FileUtils, UserFilesOpenOnlyWhatTheGrantsHold)
{
    const QString d = dir.path();
    ASSERT_TRUE(QDir(d).mkpath(QStringLiteral("chosen")));
    for (const char *name : {"chosen/a.txt", "one.txt", "other.txt", "swapped.txt"}) {
        QFile f(d + u'/' + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::link(QStringLiteral("../other.txt"), d + QStringLiteral("/chosen/out-link")));
    ASSERT_TRUE(QFile::link(QStringLiteral("a.txt"), d + QStringLiteral("/chosen/in-link")));
    // The work folder's files open as the controls name them, not through a link.
    ASSERT_TRUE(QDir(d).mkpath(QStringLiteral("work")));
    ASSERT_TRUE(QFile(d + QStringLiteral("/work/grab.png")).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(QStringLiteral("../work/grab.png"), d + QStringLiteral("/chosen/work-link")));
    ASSERT_TRUE(QFile::link(d + QStringLiteral("/work"), d + QStringLiteral("/work-alias")));
    const QByteArray oldTemp = qgetenv("TEMP");
    qputenv("TEMP", QFile::encodeName(d + QStringLiteral("/work-alias/"))); // as spelt, through a link
    tx::PathGrants grants;
    grants.grant(d + QStringLiteral("/chosen"));
    grants.grant(d + QStringLiteral("/one.txt"));
    grants.grant(d + QStringLiteral("/swapped.txt")); // a file when chosen, a link since
    ASSERT_TRUE(QFile::remove(d + QStringLiteral("/swapped.txt")));
    ASSERT_TRUE(QFile::link(d + QStringLiteral("/other.txt"), d + QStringLiteral("/swapped.txt")));
    const struct {
        QString path;
        int err; // 0: opens
        const char *why;
    } rows[] = {
        {QStringLiteral("/chosen/a.txt"), 0, ""},
        {QStringLiteral("/chosen"), 0, ""},
        {QStringLiteral("/chosen/in-link"), 0, ""},
        {QStringLiteral("/one.txt"), 0, ""},
        {QStringLiteral("/chosen/missing.txt"), ENOENT, ""},
        {QStringLiteral("/other.txt"), EACCES, "outside"},
        {QStringLiteral("/chosen/../other.txt"), EACCES, "outside"},
        {QStringLiteral("/chosen/out-link"), EACCES, "outside"},
        {QStringLiteral("/swapped.txt"), EACCES, "outside"},
        {QStringLiteral("/chosen/a.txt") + QChar(0) + QStringLiteral("x"), ENOENT, "NUL"},
        {QStringLiteral("/work/grab.png"), 0, ""},
        {QStringLiteral("/work-alias/grab.png"), 0, ""},
        {QStringLiteral("/work/../other.txt"), EACCES, "outside"},
        {QStringLiteral("/chosen/work-link"), EACCES, "outside"},
    };
    tx::PathGrants::install(&grants);
    for (bool realPath : {false, true}) {
        tx::userfiles::judgeByRealPath(realPath);
        for (const auto &r : rows) {
            QString why;
            const int fd = tx::userfiles::open(d + r.path, O_RDONLY, &why);
            const int err = fd < 0 ? errno : 0;
            if (fd >= 0)
                ::close(fd);
            EXPECT_EQ(err, r.err) << r.path.toStdString() << (realPath ? " by real path" : "");
            EXPECT_TRUE(why.contains(QLatin1String(r.why))) << r.path.toStdString() << why.toStdString();
        }
    }
    qputenv("TEMP", oldTemp);
    if (oldTemp.isEmpty())
        qunsetenv("TEMP");
    tx::userfiles::judgeByRealPath(false);
    tx::PathGrants::install(nullptr);
    // Without grants, as ever.
    const int fd = tx::userfiles::open(d + QStringLiteral("/other.txt"), O_RDONLY);
    EXPECT_GE(fd, 0);
    ::close(fd);
}
