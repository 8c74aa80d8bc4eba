// The office import form driven by a page through the host's automation API:
// the file dialog, a drop on the list, the tool tip, and cancel pressed by a
// timer while the loop waits for a post.
#include "support/TestHttpServer.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace tx::test;

class PageTest : public QObject {
    Q_OBJECT
private slots:
    void formThroughAutomation();
};

void PageTest::formThroughAutomation()
{
    QTemporaryDir dir;
    for (const char *name : {"1.txt", "2.txt", "3.txt"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Title\r\nme\r\nthe body of the text\r\n");
    }
    TestHttpServer server;
    // The second post gets no answer, so its wait lasts until cancel has been pressed.
    server.setAnswerFor([](int index, const ReceivedRequest &) {
        return index == 1 ? QByteArray() : TestHttpServer::okResponse("ok");
    });

    const QString page = QStringLiteral("var URL = \"%1\"; var DIR = \"%2\";\n").arg(server.url(QString()), dir.path())
        + QStringLiteral(R"(
var o = new ActiveXObject("Tessarix5.OfficeImport");
o.Init(URL + "/cms/upload.asp", URL + "/cms/savepost.asp", "/a/", 7, "ed");
automation.answerFileDialogs([[DIR + "/1.txt", DIR + "/2.txt"]]);
automation.child(o, "Command1").click();
if (!automation.dropFiles(o, "List1", ["  " + DIR + "/3.txt", DIR + "/1.txt"])) throw new Error("drop refused");
var list = automation.child(o, "List1");
list.hover(1);
console.log("tip: " + list.toolTip);
list.hover(-1);
console.log("tip below: [" + list.toolTip + "]");
var d = automation.fileDialogs()[0];
console.log("dialog: " + d.flags + " " + d.maxFileSize + " " + d.filter);
automation.after(1000, function () { automation.child(o, "Command4").click(); });
automation.child(o, "Command3").click();
var items = list.items;
for (var i = 0; i < items.length; i++) console.log("line: " + items[i]);
console.log("start enabled: " + automation.child(o, "Command3").enabled);
)");
    const QString pagePath = dir.filePath(QStringLiteral("page.js"));
    QFile pf(pagePath);
    QVERIFY(pf.open(QIODevice::WriteOnly));
    pf.write(page.toUtf8());
    pf.close();

    QProcess host;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TEMP"), dir.path());
    host.setProcessEnvironment(env);
    QSignalSpy finished(&host, &QProcess::finished);
    host.start(qEnvironmentVariable("TESSARIX_HOST_BIN"), {QStringLiteral("run"), pagePath});
    QVERIFY(finished.wait(60000));
    const QString err = QString::fromUtf8(host.readAllStandardError());
    QVERIFY2(host.exitCode() == 0, qPrintable(err));
    const QStringList out = QString::fromUtf8(host.readAllStandardOutput()).split(QLatin1Char('\n'));

    const QString done = QStringLiteral("......完成");
    QVERIFY(out.contains("tip: " + dir.path() + "/2.txt"));
    QVERIFY(out.contains(QStringLiteral("tip below: []")));
    QVERIFY(out.contains(QStringLiteral("dialog: 524800 4096 所有Office文档(*.doc;*.xls;*.ppt;*.txt;*.docx;*.xlsx;"
                                        "*.pptx)|*.doc;*.xls;*.ppt;*.txt;*.docx;*.xlsx;*.pptx|Word文档(*.doc;*.docx)|"
                                        "*.doc;*.docx|Excel文档(*.xls;*.xlsx)|*.xls;*.xlsx|PowerPoint文档(*.ppt;*.pptx)|"
                                        "*.ppt;*.pptx|纯文本文件(*.txt)|*.txt")));
    // Cancel during the second file: it finishes, the third waits. Its post was
    // never answered, so it is not marked done either.
    const QStringList lines = out.filter(QStringLiteral("line: "));
    QCOMPARE(lines, (QStringList{"line: " + dir.path() + "/1.txt" + done, "line: " + dir.path() + "/2.txt",
                                 "line: " + dir.path() + "/3.txt"}));
    QVERIFY(out.contains(QStringLiteral("start enabled: true")));
    QCOMPARE(server.requests.size(), 2);
}

QTEST_MAIN(PageTest)
#include "page_test.moc"
