// The folder upload control against the loopback test server: the walk's order
// and fields, the buttons, the message boxes and what the walk survives.
#include "multiupload/ModFolderBrowse.h"
#include "multiupload/MultiUpload.h"
#include "core/AutomationError.h"
#include "core/CodePage.h"
#include "platform/Ui.h"
#include "support/TestHttpServer.h"
#include "upload/UploadMachinery.h"
#include "util/FileUtils.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using tx::test::TestHttpServer;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// "file part name|path field" of every request, in order.
QStringList uploads(const TestHttpServer &server)
{
    QStringList out;
    for (const auto &r : server.requests) {
        QString name;
        for (const auto &p : r.parts())
            if (!p.filename.isEmpty())
                name = tx::codepage::decode(p.name); // names travel in the code page
        out << name + u'|' + QString::fromUtf8(r.field("path"));
    }
    return out;
}

QStringList boxTexts()
{
    QStringList out;
    for (const auto &b : tx::ui::messageBoxes())
        out << b.text;
    return out;
}

} // namespace

class MultiUploadTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    QString root; // the folder that is uploaded, ending with "/"

    template <typename T>
    static T *find(tx::MultiUpload &c, const char *name)
    {
        return c.findChild<T *>(QLatin1String(name));
    }

    // Picks `folder` with the browse button and starts the upload.
    static void pickAndStart(tx::MultiUpload &c, const QString &folder)
    {
        tx::ui::queueFolderDialogAnswers({folder});
        QTest::mouseClick(find<QPushButton>(c, "Command1"), Qt::LeftButton);
        QVERIFY(find<QPushButton>(c, "Command2")->isEnabled());
        QTest::mouseClick(find<QPushButton>(c, "Command2"), Qt::LeftButton);
    }

    // The closing box: "all done" only when the server took every file.
    static void expectFinished(tx::MultiUpload &c, int failed = 0)
    {
        const auto boxes = tx::ui::messageBoxes();
        QVERIFY(!boxes.isEmpty());
        QCOMPARE(boxes.last().text, failed == 0 ? QStringLiteral("所有文件上传完成.")
                                                : QStringLiteral("上传结束，%1 个文件上传失败。").arg(failed));
        QCOMPARE(boxes.last().title, tx::ui::defaultTitle());
        QCOMPARE(boxes.last().buttons, tx::ui::Buttons::OK);
        QCOMPARE(find<QProgressBar>(c, "pb")->value(), 100);
        QVERIFY(!find<QPushButton>(c, "Command2")->isEnabled());
    }

private slots:
    void init()
    {
        tx::ui::reset();
        QVERIFY(dir.isValid());
        root = dir.path() + QStringLiteral("/root/");
        // Names that are no UTF-8 and paths over PATH_MAX go too.
        if (QFileInfo(root).isDir())
            tx::util::RemoveFolder(root);
        QVERIFY(QDir().mkpath(root));
    }

    void form()
    {
        tx::MultiUpload c;
        const QList<std::pair<const char *, QString>> captions{
            {"lblTitle", "批量上传文件到服务器"}, {"Label3", "本地目录："}, {"Command1", "..."},
            {"Command2", "开始上传"},           {"Label1", "当前文件进度："}, {"Label2", "总体进度："}};
        for (const auto &[name, caption] : captions) {
            QWidget *w = find<QWidget>(c, name);
            QVERIFY2(w, name);
            const QString text = w->property("text").toString();
            QCOMPARE(text, caption);
        }
        QVERIFY(find<QLineEdit>(c, "txtDir")->isReadOnly());
        QVERIFY(find<QWidget>(c, "lblFileName"));
        QVERIFY(!find<QPushButton>(c, "Command2")->isEnabled());
        QCOMPARE(c.machinery().strUploadPath, QStringLiteral("/upload.asp"));
        QCOMPARE(tx::ModFolder_Browse::AddBackslash("/a"), QStringLiteral("/a/"));
        QCOMPARE(tx::ModFolder_Browse::AddBackslash("/a/"), QStringLiteral("/a/"));
    }

    void walkOrder_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("files before sub-folders")
            << QStringList{"s/c.txt", "b.txt", "a.txt"} << QStringLiteral("/")
            << QStringList{"a.txt|/", "b.txt|/", "c.txt|/s/"};
        QTest::newRow("names without case, then with case")
            << QStringList{"_c.txt", "B.txt", "a.txt", "A.txt", "s2/x", "S1/y", "S1/t/z"} << QStringLiteral("up")
            << QStringList{"A.txt|up/", "a.txt|up/", "B.txt|up/", "_c.txt|up/", "y|up/S1/", "z|up/S1/t/",
                           "x|up/s2/"};
        QTest::newRow("hidden and non-ASCII names")
            << QStringList{".h", "照片/p.jpg"} << QStringLiteral("/d/")
            << QStringList{".h|/d/", "p.jpg|/d/照片/"};
    }

    void walkOrder()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, remote);
        QFETCH(QStringList, expected);
        qint64 total = 0;
        for (const QString &f : files) {
            writeFile(root + f, f.toUtf8());
            total += f.toUtf8().size();
        }
        TestHttpServer server;
        tx::MultiUpload c;
        c.StartUpload(remote, server.url());
        pickAndStart(c, root);

        QCOMPARE(uploads(server), expected);
        QCOMPARE(c.totalSize(), total);
        QCOMPARE(c.sentSize(), total);
        // Each file part carries the file's bytes (here its relative path) and its
        // full local path with "\\" separators.
        for (const auto &r : server.requests) {
            const auto part = r.parts().first();
            const QString rel = QString::fromUtf8(part.data);
            QVERIFY(rel.endsWith(tx::codepage::decode(part.name)));
            QCOMPARE(tx::codepage::decode(part.filename), QString(root + rel).replace(u'/', u'\\'));
        }
        QCOMPARE(find<QLineEdit>(c, "txtDir")->text(), root);
        QVERIFY(find<QWidget>(c, "lblFileName")->property("text").toString().startsWith("正在发送文件:"));
        QCOMPARE(tx::ui::messageBoxes().size(), 1);
        expectFinished(c);
    }

    void emptyFolder()
    {
        TestHttpServer server;
        tx::MultiUpload c;
        c.StartUpload("/", server.url());
        pickAndStart(c, root);
        QCOMPARE(server.connections, 0);
        QCOMPARE(tx::ui::messageBoxes().size(), 1);
        expectFinished(c);
    }

    void emptyFilesOnly()
    {
        for (const char *n : {"a", "b", "c", "d"})
            writeFile(root + n, QByteArray());
        TestHttpServer server;
        tx::MultiUpload c;
        QList<int> bars;
        connect(find<QProgressBar>(c, "pb"), &QProgressBar::valueChanged, &c, [&](int v) { bars << v; });
        c.StartUpload("/", server.url());
        pickAndStart(c, root);
        QCOMPARE(server.requests.size(), 4);
        QCOMPARE(bars, (QList<int>{25, 50, 75, 100}));
        expectFinished(c);
    }

    // Steps: "start" (StartUpload), "pick" (a folder chosen), "cancel" (picker
    // cancelled).
    void startButton_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("uploads");
        QTest::newRow("configure, then pick") << QStringList{"start", "pick"} << true << true;
        QTest::newRow("pick, then configure") << QStringList{"pick", "start"} << true << true;
        QTest::newRow("configure only") << QStringList{"start"} << false << false;
        QTest::newRow("pick only") << QStringList{"pick"} << false << false;
        QTest::newRow("configure, cancel") << QStringList{"start", "cancel"} << false << false;
        QTest::newRow("cancel after a pick keeps it enabled, idle")
            << QStringList{"start", "pick", "cancel"} << true << false;
        QTest::newRow("pick again after cancel") << QStringList{"start", "pick", "cancel", "pick"} << true << true;
    }

    void startButton()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, enabled);
        QFETCH(bool, uploads);
        writeFile(root + "a.txt", "a");
        TestHttpServer server;
        tx::MultiUpload c;
        auto *browse = find<QPushButton>(c, "Command1");
        auto *start = find<QPushButton>(c, "Command2");
        for (const QString &s : steps) {
            if (s == u"start") {
                c.StartUpload("/r", server.url());
            } else {
                tx::ui::queueFolderDialogAnswers({s == u"pick" ? root : QString()});
                QTest::mouseClick(browse, Qt::LeftButton);
            }
        }
        QCOMPARE(start->isEnabled(), enabled);
        QCOMPARE(find<QLineEdit>(c, "txtDir")->text().isEmpty(), steps.last() == u"cancel" || !steps.contains("pick"));
        QTest::mouseClick(start, Qt::LeftButton);
        QCOMPARE(server.requests.size(), uploads ? 1 : 0);
        QCOMPARE(tx::ui::messageBoxes().size(), uploads ? 1 : 0);
        QCOMPARE(tx::ui::folderDialogCount(), int(steps.count("pick") + steps.count("cancel")));
    }

    void errorAnswerShowsBoxAndGoesOn_data()
    {
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("500") << QByteArray("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 4\r\n\r\nfail");
        QTest::newRow("302") << QByteArray("HTTP/1.1 302 Found\r\nLocation: /login.asp\r\nContent-Length: 0\r\n\r\n");
        QTest::newRow("504") << QByteArray("HTTP/1.1 504 Gateway Timeout\r\nContent-Length: 7\r\n\r\ntimeout");
    }
    void errorAnswerShowsBoxAndGoesOn()
    {
        QFETCH(QByteArray, error);
        writeFile(root + "a.txt", "a");
        writeFile(root + "b.txt", "b");
        TestHttpServer server;
        server.setAnswerFor([&](int i, const tx::test::ReceivedRequest &) {
            return i == 0 ? error : TestHttpServer::okResponse("/b.txt");
        });
        tx::MultiUpload c;
        c.StartUpload("/", server.url());
        pickAndStart(c, root);
        QCOMPARE(uploads(server), (QStringList{"a.txt|/", "b.txt|/"}));
        const auto boxes = tx::ui::messageBoxes();
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes[0].text, QString::fromLatin1(error));
        QCOMPARE(boxes[0].icon, tx::ui::Icon::Critical);
        QCOMPARE(boxes[0].title, QStringLiteral("文件上传时出错!"));
        QCOMPARE(boxes[0].buttons, tx::ui::Buttons::OK);
        expectFinished(c, 1);
    }

    // Things removed while the first file's answer is awaited.
    void vanishedDuringWalk_data()
    {
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("failed");
        // A folder that could not be read is a failure of the run: its files were not sent.
        QTest::newRow("sub-folder") << QStringLiteral("s") << QStringList{"a.txt|/", "b.txt|/"} << 1;
        QTest::newRow("file") << QStringLiteral("b.txt") << QStringList{"a.txt|/", "c.txt|/s/"} << 1;
    }

    void vanishedDuringWalk()
    {
        QFETCH(QString, removed);
        QFETCH(QStringList, expected);
        QFETCH(int, failed);
        writeFile(root + "a.txt", "a");
        writeFile(root + "b.txt", "b");
        writeFile(root + "s/c.txt", "c");
        TestHttpServer server;
        server.setAnswerFor([&](int i, const tx::test::ReceivedRequest &) {
            if (i == 0) {
                const QString path = root + removed;
                QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path);
            }
            return TestHttpServer::okResponse("/x");
        });
        tx::MultiUpload c;
        c.StartUpload("/", server.url());
        pickAndStart(c, root);
        QCOMPARE(uploads(server), expected);
        const auto boxes = tx::ui::messageBoxes();
        QCOMPARE(boxes.size(), 2);
        QVERIFY2(boxes[0].text.contains(root + removed), qPrintable(boxes[0].text));
        QCOMPARE(boxes[0].icon, tx::ui::Icon::Exclamation);
        QCOMPARE(boxes[0].buttons, tx::ui::Buttons::OK);
        expectFinished(c, failed);
    }

    // Names on disk are bytes. One that is no UTF-8 is sent as it is on disk
    // (in the code page where it converts, else as its bytes) and shown as read
    // in the code page or escaped; a folder that cannot be read counts as failed.
    void unreadableFolder_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("failed");
        QTest::newRow("no read permission") << "locked" << QStringList{"a.txt|/"} << 1;
        QTest::newRow("read but not searched") << "unsearched" << QStringList{"a.txt|/"} << 2;
        QTest::newRow("a path over PATH_MAX") << "deep" << QStringList{"a.txt|/"} << 1;
        QTest::newRow("names that are no UTF-8")
            << "bytes" << QStringList{"a.txt|/", "照片.txt|/", QString(), "c.txt|/照/"} << 0;
    }

    void unreadableFolder()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, expected);
        QFETCH(int, failed);
        if ((kind == u"locked" || kind == u"unsearched") && ::geteuid() == 0)
            QSKIP("permissions do not stop root; the other rows cover this");
        writeFile(root + "a.txt", "a");
        const QByteArray native = QFile::encodeName(root);
        const auto make = [](int dir, const QByteArray &name, const QByteArray &bytes) {
            const int fd = ::openat(dir, name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
            ::close(fd);
        };
        int top = ::open(native.constData(), O_RDONLY | O_DIRECTORY);
        QVERIFY(top >= 0);
        if (kind == u"locked") {
            writeFile(root + "locked/b.txt", "b");
            QVERIFY(::chmod(QFile::encodeName(root + "locked").constData(), 0) == 0);
        } else if (kind == u"unsearched") {
            writeFile(root + "unsearched/b.txt", "b");
            writeFile(root + "unsearched/c.txt", "c");
            QVERIFY(::chmod(QFile::encodeName(root + "unsearched").constData(), 0444) == 0);
        } else if (kind == u"deep") {
            // Made one level at a time below its parent's descriptor.
            int at = ::dup(top);
            for (int level = 0; level < 24; ++level) {
                const QByteArray name = "deep" + QByteArray(200, 'd');
                QCOMPARE(::mkdirat(at, name.constData(), 0700), 0);
                const int next = ::openat(at, name.constData(), O_RDONLY | O_DIRECTORY);
                ::close(at);
                at = next;
                QVERIFY(at >= 0);
            }
            make(at, "z.txt", "z");
            ::close(at);
        } else {
            make(top, "\xD5\xD5\xC6\xAC.txt", "gbk");     // "照片.txt" in the code page
            make(top, "\xFF\xFE.txt", "raw");                // no text in any code page
            QCOMPARE(::mkdirat(top, "\xD5\xD5", 0700), 0);  // "照"
            const int sub = ::openat(top, "\xD5\xD5", O_RDONLY | O_DIRECTORY);
            make(sub, "c.txt", "c");
            ::close(sub);
        }
        ::close(top);
        TestHttpServer server;
        tx::MultiUpload c;
        c.StartUpload("/", server.url());
        pickAndStart(c, root);
        if (kind == u"locked" || kind == u"unsearched")
            ::chmod(QFile::encodeName(root + kind).constData(), 0700);
        QStringList got = uploads(server);
        if (kind == u"bytes") {
            QCOMPARE(got.size(), 4);
            const auto raw = server.requests[2].parts().first();
            QCOMPARE(raw.name, QByteArray("\xFF\xFE.txt"));
            QVERIFY(raw.filename.endsWith("\\root\\\xFF\xFE.txt"));
            QCOMPARE(raw.data, QByteArray("raw"));
            QCOMPARE(server.requests[1].parts().first().data, QByteArray("gbk"));
            QVERIFY(server.requests[1].parts().first().filename.endsWith("\\\xD5\xD5\xC6\xAC.txt"));
            got[2].clear();
        } else if (kind == u"unsearched") {
            // Each file it lists is named in a box of its own.
            QCOMPARE(boxTexts().size(), 3);
            QVERIFY2(boxTexts().first().startsWith(QStringLiteral("无法上传文件: ")), qPrintable(boxTexts().first()));
            QVERIFY2(boxTexts().first().contains(root + kind + "/"), qPrintable(boxTexts().first()));
        } else {
            QVERIFY2(boxTexts().first().startsWith(QStringLiteral("无法读取文件夹: ") + root + kind), qPrintable(boxTexts().first()));
        }
        QCOMPARE(got, expected);
        expectFinished(c, failed);
        if (kind == u"bytes") {
            // Names the temporary folder's own removal cannot spell.
            ::unlink(native + "\xD5\xD5\xC6\xAC.txt");
            ::unlink(native + "\xFF\xFE.txt");
            ::unlink(native + "\xD5\xD5/c.txt");
            ::rmdir(native + "\xD5\xD5");
        }
    }

    void linksAndSpecialFiles()
    {
        writeFile(root + "a.txt", "a");
        writeFile(root + "s/c.txt", "c");
        writeFile(dir.path() + "/outside.txt", "outside");
        QVERIFY(QFile::link(root, root + "s/loop"));                          // a loop
        QVERIFY(QFile::link(dir.path() + "/outside.txt", root + "l.txt"));    // a link to a file
        QVERIFY(QFile::link(root + "missing", root + "dangling"));
        QVERIFY(::mkfifo(QFile::encodeName(root + "fifo").constData(), 0600) == 0);
        TestHttpServer server;
        tx::MultiUpload c;
        c.StartUpload("/", server.url());
        pickAndStart(c, root);
        QCOMPARE(uploads(server), (QStringList{"a.txt|/", "l.txt|/", "c.txt|/s/"}));
        QCOMPARE(server.requests[1].field("l.txt"), QByteArray("outside"));
        QCOMPARE(c.totalSize(), qint64(1 + 7 + 1));
        QCOMPARE(boxTexts(), QStringList{"所有文件上传完成."});
        expectFinished(c);
    }

    void noServerStillFinishes()
    {
        writeFile(root + "a.txt", "a");
        writeFile(root + "b.txt", "b");
        quint16 port = 0;
        {
            TestHttpServer gone;
            port = gone.port();
        }
        tx::MultiUpload c;
        const QString url = QStringLiteral("http://127.0.0.1:%1/upload.asp").arg(port);
        c.StartUpload("/", url);
        pickAndStart(c, root);
        // Per file the socket's own box, then one naming the file; none says done.
        QCOMPARE(boxTexts(), (QStringList{"Connection is forcefully rejected", "无法连接到服务器：" + root + "a.txt",
                                          "Connection is forcefully rejected", "无法连接到服务器：" + root + "b.txt",
                                          "上传结束，2 个文件上传失败。"}));
        QCOMPARE(tx::ui::messageBoxes()[1].title, QStringLiteral("文件上传时出错!"));
        QCOMPARE(tx::ui::messageBoxes()[1].icon, tx::ui::Icon::Critical);
        expectFinished(c, 2);
    }

    // A body that takes longer to send than the answer time-out still gets its
    // answer while bytes move; one whose reader stops is given up, with one box.
    void slowServers_data()
    {
        QTest::addColumn<qint64>("bytesPer10ms");
        QTest::addColumn<int>("failed");
        QTest::newRow("slow reader") << qint64(64 * 1024) << 0;
        QTest::newRow("reader stops") << qint64(0) << 1;
    }

    void slowServers()
    {
        QFETCH(qint64, bytesPer10ms);
        QFETCH(int, failed);
        writeFile(root + "big.bin", QByteArray(24 << 20, 'b'));
        qputenv("TESSARIX_TICK_MS", "5");
        TestHttpServer server;
        server.setKeepBodies(false);
        server.setReadRate(bytesPer10ms, 10);
        tx::MultiUpload c;
        qputenv("TESSARIX_TICK_MS", "10");
        c.StartUpload("/", server.url());
        QElapsedTimer clock;
        clock.start();
        pickAndStart(c, root);
        QVERIFY(clock.elapsed() > tx::UploadMachinery::kAnswerTicks * 5);
        const auto boxes = tx::ui::messageBoxes();
        QCOMPARE(boxes.size(), 1 + failed);
        if (failed) {
            QCOMPARE(boxes[0].text, "服务器没有应答：" + root + "big.bin");
            QCOMPARE(boxes[0].title, QStringLiteral("文件上传时出错!"));
        } else {
            QCOMPARE(server.bodyBytes, server.requests.last().header("Content-Length").toLongLong());
        }
        expectFinished(c, failed);
    }

    void badUrl()
    {
        tx::MultiUpload c;
        try {
            c.StartUpload("/", "ftp://h/x");
            QFAIL("no error");
        } catch (const tx::AutomationError &e) {
            QCOMPARE(e.number, tx::kErrBadUrl);
            QCOMPARE(e.description, QStringLiteral("错误的URL"));
        }
        QVERIFY(c.remoteFolder().isEmpty());
    }

    void passThroughMembers()
    {
        writeFile(root + "a.txt", "body");
        TestHttpServer server;
        tx::MultiUpload c;
        c.StartUpload("/", server.url("/other.asp"));
        // After a walk, by hand, as a page drives it: the exchange takes its own
        // answer, with nothing reset from outside.
        pickAndStart(c, root);
        QCOMPARE(server.requests.size(), 1);
        writeFile(dir.path() + "/by-hand.txt", "body");
        c.addFormData("k", "v");
        c.AddUploadFile("f", dir.path() + "/by-hand.txt");
        c.UploadFile();
        QVERIFY(!c.machinery().bDone);
        QTRY_VERIFY(c.machinery().bDone);
        QCOMPARE(c.machinery().outcome(), tx::UploadMachinery::Outcome::Answered);
        QCOMPARE(server.requests.last().requestLine(), QByteArray("POST /other.asp HTTP/1.1"));
        QCOMPARE(server.requests.last().field("k"), QByteArray("v"));
        QCOMPARE(server.requests.last().field("f"), QByteArray("body"));
    }
};

QTEST_MAIN(MultiUploadTest)
#include "multiupload_test.moc"
