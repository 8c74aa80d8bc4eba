// The Helper object against a real X clipboard owned by another process, as it
// is after a copy in a file manager; run again as an unfocused Wayland client.
#include "helper/ClipBoard.h"
#include "helper/Helper.h"
#include "platform/Clipboard.h"
#include "platform/XSelection.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QUrl>
#include <QtTest>
#include <memory>

namespace {

QString uri(const QString &path)
{
    return QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded());
}

QString uriList(const QStringList &paths)
{
    QString out;
    for (const QString &p : paths)
        out += uri(p) + QStringLiteral("\r\n");
    return out;
}

// A path of exactly 300 characters, longer than the old 260-character buffer.
QString longPath()
{
    QString p = QStringLiteral("/tmp/") + QString(100, u'd') + u'/' + QString(100, u'e') + u'/' + QString(89, u'f')
                + QStringLiteral(".jpg");
    return p;
}

} // namespace

class HelperTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QProcess> owner;

    // Gives the clipboard to a new owner offering `pairs` (MIME type, data) and
    // waits until this process has noticed the change.
    // Under a Wayland compositor the owner is an X client, as a file manager
    // running on Xwayland or mirrored into it; this process, unfocused, never hears
    // of the change and must read Xwayland's selection.
    static bool wayland() { return QGuiApplication::platformName().startsWith(u"wayland"); }

    bool offer(const QStringList &pairs)
    {
        QSignalSpy changed(QGuiApplication::clipboard(), &QClipboard::dataChanged);
        owner = std::make_unique<QProcess>();
        owner->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        owner->setProcessEnvironment(env);
        owner->start(QStringLiteral(CLIPBOARD_OWNER), pairs);
        if (!owner->waitForReadyRead(10000) || owner->readLine().trimmed() != "ready")
            return false;
        return wayland() || changed.count() > 0 || changed.wait(5000);
    }

    void release()
    {
        if (!owner)
            return;
        QSignalSpy changed(QGuiApplication::clipboard(), &QClipboard::dataChanged);
        owner->closeWriteChannel();
        if (!owner->waitForFinished(5000)) {
            owner->kill();
            owner->waitForFinished(5000);
        }
        owner.reset();
        // The next owner must not be mistaken for this one.
        if (changed.count() == 0 && !wayland())
            changed.wait(5000);
    }

private slots:
    void cleanup() { release(); }

    void clipboardLists_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("data");
        QTest::addColumn<bool>("hasDrop");
        QTest::addColumn<QString>("expected");

        const QString uris = QStringLiteral("text/uri-list");
        QTest::newRow("pictures among other files")
            << uris << uriList({"/c/a/x.JPG", "/c/a/notes.txt", "/c/a/y.png"}) << true
            << QStringLiteral("/c/a/x.JPG||/c/a/y.png");
        QTest::newRow("one picture") << uris << uriList({"/c/a/x.gif"}) << true << QStringLiteral("/c/a/x.gif");
        QTest::newRow("bmp and jpe are not pictures here")
            << uris << uriList({"/c/a/p.bmp", "/c/a/q.jpe"}) << true << QString();
        QTest::newRow("folder named like a picture")
            << uris << uriList({"/c/album.jpg", "/c/album"}) << true << QStringLiteral("/c/album.jpg");
        QTest::newRow("300 characters, whole") << uris << uriList({longPath()}) << true << longPath();
        QTest::newRow("spaces and non-ASCII")
            << uris << uriList({QStringLiteral("/tmp/照片 集/my photo é.png")}) << true
            << QStringLiteral("/tmp/照片 集/my photo é.png");
        QTest::newRow("comments, blank lines, localhost")
            << uris << QStringLiteral("# copied\r\nfile:///a/e.PNG\r\n\r\nfile://localhost/a/f.jpeg\r\n") << true
            << QStringLiteral("/a/e.PNG||/a/f.jpeg");
        QTest::newRow("non-local entries left out, order kept")
            << uris
            << QStringLiteral("http://h/a.jpg\r\nfile:///a/1.png\r\nfile://otherhost/b.jpg\r\n"
                              "smb://h/c.png\r\nfile:///a/2.jpg")
            << true << QStringLiteral("/a/1.png||/a/2.jpg");
        QTest::newRow("GNOME copied files")
            << QStringLiteral("x-special/gnome-copied-files")
            << QStringLiteral("copy\nfile:///a/g.gif\nfile:///a/h.txt\nfile:///a/i.jpg") << true
            << QStringLiteral("/a/g.gif||/a/i.jpg");
        QTest::newRow("KDE uri list") << QStringLiteral("application/x-kde4-urilist")
                                      << uriList({"/a/k.jpeg"}) << true << QStringLiteral("/a/k.jpeg");
        QStringList many;
        for (int i = 0; i < 3000; ++i)
            many.append(QStringLiteral("/tmp/") + QString(150, u'm') + QString::number(i) + QStringLiteral(".png"));
        // Half a megabyte: more than one request of the property reads.
        QTest::newRow("a list too long for one piece") << uris << uriList(many) << true << many.join(u"||");
        QTest::newRow("copied text") << QStringLiteral("text/plain") << QStringLiteral("file:///a/x.jpg") << false
                                     << QString();
    }

    void clipboardLists()
    {
        QFETCH(QString, format);
        QFETCH(QString, data);
        QFETCH(bool, hasDrop);
        QFETCH(QString, expected);
        QTemporaryFile file;
        if (data.size() > 100000) {
            QVERIFY(file.open() && file.write(data.toUtf8()) > 0 && file.flush());
            data = u'@' + file.fileName();
        }
        QVERIFY(offer({format, data}));

        tx::Helper helper;
        QCOMPARE(tx::ClipBoard::ClipboardHasFileDrop(), hasDrop);
        QCOMPARE(helper.GetClipFiles(), expected);
        QCOMPARE(helper.ClipBoardHaveFile(), !expected.isEmpty());
        // Read again: nothing was taken or held by the first read.
        QCOMPARE(helper.GetClipFiles(), expected);
        // What a Wayland client without focus reads instead: the X selection.
        QMimeData viaX;
        for (const auto &[format, bytes] : tx::clipboard::xselection::read(
                 {QStringLiteral("text/uri-list"), QStringLiteral("application/x-kde4-urilist"),
                  QStringLiteral("x-special/gnome-copied-files")},
                 5000))
            viaX.setData(format, bytes);
        QCOMPARE(tx::clipboard::offersFileList(viaX), hasDrop);
        QCOMPARE(tx::clipboard::filesFromMimeData(viaX), tx::clipboard::fileList());
    }

    void readClipboardFilesListsEveryLocalFile()
    {
        QVERIFY(offer({QStringLiteral("text/uri-list"),
                       uriList({"/c/a/x.JPG", "/c/a/notes.txt", longPath()}) + "http://h/y.png\r\n"}));
        QStringList files{QStringLiteral("stale")};
        QCOMPARE(tx::ClipBoard::ReadClipboardFiles(files), 3);
        QCOMPARE(files, (QStringList{"/c/a/x.JPG", "/c/a/notes.txt", longPath()}));
    }

    void emptyClipboard()
    {
        QStringList files{QStringLiteral("stale")};
        QCOMPARE(tx::ClipBoard::ReadClipboardFiles(files), 0);
        QVERIFY(files.isEmpty());
        QCOMPARE(tx::Helper().GetClipFiles(), QString());
        QVERIFY(!tx::Helper().ClipBoardHaveFile());
    }

    void getFileExtName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ext");
        QTest::newRow("dot in a folder name") << QStringLiteral("C:\\my.photos\\scan") << QStringLiteral("photos\\scan");
        QTest::newRow("last dot") << QStringLiteral("archive.tar.gz") << QStringLiteral("gz");
        QTest::newRow("no dot") << QStringLiteral("README") << QString();
        QTest::newRow("case kept") << QStringLiteral("/a/x.JPG") << QStringLiteral("JPG");
        QTest::newRow("ends in a dot") << QStringLiteral("name.") << QString();
        QTest::newRow("empty") << QString() << QString();
    }

    void getFileExtName()
    {
        QFETCH(QString, name);
        QFETCH(QString, ext);
        const QString before = name;
        QCOMPARE(tx::Helper().getFileExtName(name), ext);
        QCOMPARE(name, before);
    }

    void cutAtNull_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("cut at the first NUL") << QString::fromUtf16(u"/a/b.jpg\0\0junk", 14) << QStringLiteral("/a/b.jpg");
        QTest::newRow("NUL first") << QString::fromUtf16(u"\0abc", 4) << QString();
        QTest::newRow("no NUL: spaces trimmed") << QStringLiteral("  /a b.png  ") << QStringLiteral("/a b.png");
        QTest::newRow("no NUL: tabs kept") << QStringLiteral("\t/a.png ") << QStringLiteral("\t/a.png");
        QTest::newRow("NUL keeps spaces") << QString::fromUtf16(u" a \0", 4) << QStringLiteral(" a ");
        QTest::newRow("empty") << QString() << QString();
    }

    void cutAtNull()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(tx::ClipBoard::CutAtNull(in), out);
    }

    void localPathFromUri_data()
    {
        QTest::addColumn<QByteArray>("uri");
        QTest::addColumn<QString>("path");
        QTest::newRow("escaped space") << QByteArray("file:///a%20b/c.png") << QStringLiteral("/a b/c.png");
        QTest::newRow("scheme in capitals") << QByteArray("FILE:///x") << QStringLiteral("/x");
        QTest::newRow("localhost") << QByteArray("file://localhost/x") << QStringLiteral("/x");
        QTest::newRow("other host") << QByteArray("file://server/x") << QString();
        QTest::newRow("no authority") << QByteArray("file:/x/y.jpg") << QStringLiteral("/x/y.jpg");
        QTest::newRow("relative") << QByteArray("file:x.jpg") << QString();
        QTest::newRow("other scheme") << QByteArray("http://h/x.jpg") << QString();
        QTest::newRow("embedded NUL") << QByteArray("file:///a%00b.jpg") << QString();
        QTest::newRow("escaped hash") << QByteArray("file:///a%23b.png") << QStringLiteral("/a#b.png");
        QTest::newRow("UTF-8") << QByteArray("file:///%E7%85%A7.jpg") << QStringLiteral("/照.jpg");
        QTest::newRow("broken escape") << QByteArray("file:///tmp/%ZZ") << QString();
        QTest::newRow("escape cut short") << QByteArray("file:///tmp/a%4") << QString();
        QTest::newRow("escaped percent") << QByteArray("file:///100%25.txt") << QStringLiteral("/100%.txt");
    }

    void localPathFromUri()
    {
        QFETCH(QByteArray, uri);
        QFETCH(QString, path);
        QCOMPARE(tx::clipboard::localPathFromUri(uri), path);
    }
};

QTEST_MAIN(HelperTest)
#include "helper_test.moc"
