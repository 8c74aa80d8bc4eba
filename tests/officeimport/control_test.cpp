// The office import control itself: its form, Init's routing, uploads, the text
// import and the article post, and the refusal of overlapping imports.
#include "ImportFixture.h"
#include "util/PageSeparator.h"
#include "core/AutomationError.h"
#include "core/CodePage.h"
#include "upload/UploadMachinery.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <sys/stat.h>

using namespace tx;
using namespace tx::test;

class ControlTest : public QObject {
    Q_OBJECT
private slots:
    void formLayout_data();
    void formLayout();
    void initRouting_data();
    void initRouting();
    void initWithoutOptionalArguments();
    void initRefusesBadUrl();
    void articleFieldsInOrder();
    void postGoesToUploadHostWithPostPath();
    void pageFieldIsNotSent();
    void startUploadKeepsAnswer();
    void textFiles_data();
    void textFiles();
    void refusedPostIsAnError_data();
    void refusedPostIsAnError();
    void overlappingImportIsRefused();
};

void ControlTest::formLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("enabled");

    const auto row = [](const char *name, const char *parent, const QString &caption, QRect r, bool shown = true,
                        bool enabled = true) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(parent) << caption << r << shown
                            << enabled;
    };
    row("Frame1", "OfficeImport", QStringLiteral("准备要导入的文件"), QRect(120, 240, 6495, 2535));
    row("List1", "Frame1", QString(), QRect(240, 240, 6015, 1680));
    row("Command1", "Frame1", QStringLiteral("增加"), QRect(4320, 2040, 855, 375));
    row("Command2", "Frame1", QStringLiteral("删除"), QRect(5400, 2040, 855, 375));
    row("pbFile", "Frame1", QString(), QRect(240, 2040, 6015, 255), false);
    row("Frame2", "OfficeImport", QStringLiteral("Word"), QRect(120, 2880, 2055, 975));
    row("Check1", "Frame2", QStringLiteral("自动分页"), QRect(120, 240, 1095, 255));
    row("Check2", "Frame2", QStringLiteral("清理HTML代码"), QRect(120, 600, 1455, 255));
    row("Frame3", "OfficeImport", QStringLiteral("PowerPoint"), QRect(2400, 2880, 1935, 975));
    row("Label1", "Frame3", QStringLiteral("宽度:"), QRect(120, 240, 450, 180));
    row("txtWidth", "Frame3", QStringLiteral("800"), QRect(720, 240, 855, 270));
    row("Label2", "Frame3", QStringLiteral("高度:"), QRect(120, 600, 450, 180));
    row("txtHeight", "Frame3", QStringLiteral("600"), QRect(720, 600, 855, 270));
    row("Command3", "OfficeImport", QStringLiteral("开始导入"), QRect(4680, 3000, 1935, 375));
    row("Command4", "OfficeImport", QStringLiteral("取消"), QRect(4680, 3600, 1935, 375), true, false);
}

void ControlTest::formLayout()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(bool, shown);
    QFETCH(bool, enabled);

    OfficeImport control;
    QCOMPARE(control.size(), QSize(459, 274));
    auto *w = control.findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->parentWidget()->objectName(), parent);
    QCOMPARE(w->geometry(), QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    QCOMPARE(!w->isHidden(), shown);
    QCOMPARE(w->isEnabled(), enabled);
    QString text;
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        text = b->text();
    else if (auto *g = qobject_cast<QGroupBox *>(w))
        text = g->title();
    else if (auto *l = qobject_cast<QLabel *>(w))
        text = l->text();
    else if (auto *e = qobject_cast<QLineEdit *>(w))
        text = e->text();
    QCOMPARE(text, caption);
    if (auto *c = qobject_cast<QCheckBox *>(w))
        QVERIFY(!c->isChecked());
}

void ControlTest::initRouting_data()
{
    QTest::addColumn<QString>("uploadUrl");
    QTest::addColumn<QString>("postUrl");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("uploadPath");
    QTest::addColumn<QString>("postPath");
    QTest::newRow("hosts differ") << "http://hostA:8080/cms/upload.asp" << "http://hostB/cms/savepost.asp"
                                  << "hostA" << "8080" << "/cms/upload.asp" << "/cms/savepost.asp";
    QTest::newRow("upload names no port") << "http://hostA/up.asp" << "http://hostB:9000/p.asp" << "hostA"
                                          << "80" << "/up.asp" << "/p.asp";
    QTest::newRow("no paths") << "http://hostA:81" << "http://hostB" << "hostA" << "81" << "/" << "/";
}

void ControlTest::initRouting()
{
    QFETCH(QString, uploadUrl);
    QFETCH(QString, postUrl);
    OfficeImport control;
    control.Init(uploadUrl, postUrl, QStringLiteral("/f/"), 1, QStringLiteral("u"));
    QTEST(control.machinery().strHost, "host");
    QTEST(control.machinery().strPort, "port");
    QTEST(control.machinery().strUploadPath, "uploadPath");
    QTEST(control.strPostPath, "postPath");
}

void ControlTest::initWithoutOptionalArguments()
{
    OfficeImport control;
    QCOMPARE(control.machinery().strUploadPath, QStringLiteral("/cms/upload.asp"));
    QCOMPARE(control.machinery().strPort, QStringLiteral("80"));
    control.Init(QStringLiteral("http://a/u"), QStringLiteral("http://a/p"), QStringLiteral("/f/"), 12,
                 QStringLiteral("li"));
    QCOMPARE(control.strIssueId, QStringLiteral("0"));
    QCOMPARE(control.strObjectType, QStringLiteral("1"));
    QCOMPARE(control.lngColumnId, 12);
    QCOMPARE(control.strUserName, QStringLiteral("li"));
    QCOMPARE(control.strCurPath, QStringLiteral("/f/"));
}

void ControlTest::initRefusesBadUrl()
{
    OfficeImport control;
    control.Init(QStringLiteral("http://a/u"), QStringLiteral("http://a/p"), QStringLiteral("/f/"), 1,
                 QStringLiteral("x"));
    try {
        control.Init(QStringLiteral("http://b/u"), QStringLiteral("ftp://b/p"), QStringLiteral("/g/"), 2,
                     QStringLiteral("y"));
        QFAIL("no error");
    } catch (const AutomationError &e) {
        QCOMPARE(e.number, kErrBadUrl);
        QCOMPARE(e.description, QStringLiteral("错误的URL"));
    }
    // Only the steps before the failing one took effect.
    QCOMPARE(control.strCurPath, QStringLiteral("/g/"));
    QCOMPARE(control.strPostPath, QStringLiteral("/p"));
    QCOMPARE(control.lngColumnId, 1);
    QCOMPARE(control.machinery().strHost, QStringLiteral("a"));
}

void ControlTest::articleFieldsInOrder()
{
    ImportFixture f(false);
    QCOMPARE(f.control->ImportTxt(QStringLiteral("标题：Spring news\r\n作者：Li\r\n\r\nLine one\r\n\r\nLine  two"),
                                  QStringLiteral("15"), QStringLiteral("王五")),
             1);
    const QList<PostedArticle> posted = f.articles();
    QCOMPARE(posted.size(), 1);
    const PostedArticle &a = posted[0];
    QCOMPARE(a.names, (QList<QByteArray>{"columnid", "issueid", "objecttype", "title", "content", "author", "curpath"}));
    QCOMPARE(a.columnid, QStringLiteral("15"));
    QCOMPARE(a.issueid, QStringLiteral("3"));
    QCOMPARE(a.objecttype, QStringLiteral("2"));
    QCOMPARE(a.title, QStringLiteral("Spring news"));
    QCOMPARE(a.content, QStringLiteral("Line&nbsp;one<br><br>Line&nbsp;&nbsp;two") + PAGE_SEPARATOR);
    QCOMPARE(a.author, QStringLiteral("王五"));
    QCOMPARE(a.curpath, QStringLiteral("/news/"));
    QCOMPARE(f.control->form().pbFile->value(), 100);
}

void ControlTest::postGoesToUploadHostWithPostPath()
{
    TestHttpServer server;
    OfficeImport control;
    // The post URL names a port nobody listens on; only the upload URL's counts.
    control.Init(server.url(QStringLiteral("/cms/upload.asp")), QStringLiteral("http://127.0.0.1:1/cms/savepost.asp"),
                 QStringLiteral("/f/"), 1, QStringLiteral("u"));
    control.ImportTxt(QStringLiteral("x"), QStringLiteral("1"), QStringLiteral("u"));
    QCOMPARE(server.requests.size(), 1);
    QCOMPARE(server.requests[0].requestLine(), QByteArray("POST /cms/savepost.asp HTTP/1.1"));
    QCOMPARE(server.requests[0].header("Host"), "127.0.0.1:" + QByteArray::number(server.port()));
    // The upload path is back for the next picture.
    QCOMPARE(control.machinery().strUploadPath, QStringLiteral("/cms/upload.asp"));
}

void ControlTest::pageFieldIsNotSent()
{
    ImportFixture f(false);
    f.control->addFormData(QStringLiteral("extra"), QStringLiteral("1"));
    f.control->ImportTxt(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("u"));
    QVERIFY(f.server.requests.last().field("extra").isNull());
    QCOMPARE(f.articles().last().names.size(), 7);
}

void ControlTest::startUploadKeepsAnswer()
{
    ImportFixture f(false);
    const QString file = f.writeFile(QStringLiteral("a.jpg"), "JPEGDATA");
    f.control->StartUpload(QStringLiteral("/news"), file, 42);
    QCOMPARE(f.server.requests.size(), 1);
    const ReceivedRequest &r = f.server.requests[0];
    QCOMPARE(r.requestLine(), QByteArray("POST /cms/upload.asp HTTP/1.1"));
    QCOMPARE(r.field("curPath"), QByteArray("/news/"));
    QCOMPARE(r.field("contentid"), QByteArray("42"));
    QCOMPARE(r.field("a.jpg"), QByteArray("JPEGDATA"));
    QCOMPARE(f.control->strAnswer(), QStringLiteral("/pics/0.jpg"));

    f.server.setAnswerFor({});
    f.server.setMode(TestHttpServer::Mode::Error500);
    f.control->StartUpload(QStringLiteral("/news"), file, 42);
    QCOMPARE(f.control->strAnswer(), QStringLiteral("Error"));

    try {
        f.control->StartUpload(QStringLiteral("/news"), f.tempPath() + QStringLiteral("/missing.jpg"), 1);
        QFAIL("no error");
    } catch (const AutomationError &e) {
        QCOMPARE(e.number, int32_t(ErrFileNotFound));
    }
}

void ControlTest::textFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("content");
    QTest::newRow("gbk") << codepage::encodeAs(QStringLiteral("标题：报告\r\n正文内容很长\r\n"), "GBK")
                         << QStringLiteral("报告") << QStringLiteral("正文内容很长<br>");
    QTest::newRow("utf-8, LF") << QByteArray("标题：报告\n作者：李\n正文 一\n") << QStringLiteral("报告")
                               << QStringLiteral("正文&nbsp;一<br>");
    QTest::newRow("title and author only") << QByteArray("Title: Report\r\nauthor: me\r\n")
                                           << QStringLiteral("Report") << QString();
    QTest::newRow("empty") << QByteArray() << QStringLiteral("尚未设置") << QString();
}

void ControlTest::textFiles()
{
    QFETCH(QByteArray, bytes);
    ImportFixture f(false);
    const QString path = f.writeFile(QStringLiteral("a.txt"), bytes);
    QCOMPARE(f.control->ImportTxtFile(path, 9, QStringLiteral("u")), 1);
    const PostedArticle a = f.articles().value(0);
    QTEST(a.title, "title");
    QFETCH(QString, content);
    QCOMPARE(a.content, content + PAGE_SEPARATOR);
    QCOMPARE(a.columnid, QStringLiteral("9"));

    // A file that cannot be read is an error naming it, and nothing is posted.
    const struct {
        QString path;
        int32_t error;
    } unreadable[] = {{f.tempPath() + QStringLiteral("/missing.txt"), ErrFileNotFound},
                      {f.tempPath(), ErrPathFileAccess},
                      {path + QStringLiteral("/x.txt"), ErrPathNotFound},
                      {f.tempPath() + QStringLiteral("/fifo.txt"), ErrPathFileAccess},
                      {f.tempPath() + QStringLiteral("/huge.txt"), ErrPathFileAccess}};
    // Larger than any memory: refused before a byte is read (sparse, so it takes no disk).
    QFile huge(f.tempPath() + QStringLiteral("/huge.txt"));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(1) << 40));
    huge.close();
    // A pipe nobody writes to would never end.
    QCOMPARE(::mkfifo(QFile::encodeName(f.tempPath() + QStringLiteral("/fifo.txt")).constData(), 0600), 0);
    for (const auto &u : unreadable) {
        try {
            f.control->ImportTxtFile(u.path, 9, QStringLiteral("u"));
            QFAIL(qPrintable(u.path));
        } catch (const AutomationError &e) {
            QCOMPARE(e.number, u.error);
            QVERIFY2(e.description.endsWith(u.path), qPrintable(e.description));
        }
    }
    QCOMPARE(f.articles().size(), 1);
}

// A post without a "200 OK" answer is no success: the import fails with the reason.
void ControlTest::refusedPostIsAnError_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("reason");
    QTest::newRow("500") << QByteArray("HTTP/1.1 500 Internal Server Error\r\n\r\n") << "HTTP/1.1 500 Internal Server Error";
    QTest::newRow("closed") << QByteArray("") << "连接被关闭，没有应答";
    QTest::newRow("silent") << QByteArray() << "服务器没有应答";
}

void ControlTest::refusedPostIsAnError()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, reason);
    ImportFixture f;
    f.server.setAnswerFor([&](int, const ReceivedRequest &) { return answer; });
    try {
        f.control->ImportTxt(QStringLiteral("text"), QStringLiteral("1"), QStringLiteral("u"));
        QFAIL("no error");
    } catch (const AutomationError &e) {
        QCOMPARE(e.number, int32_t(ErrAutomation));
        QCOMPARE(e.source, QStringLiteral("OfficeImport"));
        QCOMPARE(e.description, QStringLiteral("文章提交失败：") + reason);
    }
    QVERIFY(!f.control->busy());
}

void ControlTest::overlappingImportIsRefused()
{
    ImportFixture f(false);
    QList<AutomationError> refused;
    f.server.setAnswerFor([&](int, const ReceivedRequest &) {
        // The page calls again while the first post waits for its answer.
        for (int i = 0; i < 2; ++i) {
            try {
                if (i == 0)
                    f.control->ImportTxt(QStringLiteral("again"), QStringLiteral("1"), QStringLiteral("u"));
                else
                    f.control->ImportDocFile(QStringLiteral("/x.doc"), QStringLiteral("1"), QStringLiteral("u"));
            } catch (const AutomationError &e) {
                refused << e;
            }
        }
        return TestHttpServer::okResponse("ok");
    });
    f.control->ImportTxt(QStringLiteral("first"), QStringLiteral("1"), QStringLiteral("u"));
    QCOMPARE(refused.size(), 2);
    for (const AutomationError &e : refused) {
        QCOMPARE(e.number, kErrBusy);
        QCOMPARE(e.source, QStringLiteral("OfficeImport"));
        QCOMPARE(e.description, QStringLiteral("控件正忙，请稍后再试。"));
    }
    QCOMPARE(f.server.requests.size(), 1);
    QVERIFY(!f.control->busy());
    // Free again once the first call returned.
    QCOMPARE(f.control->ImportTxt(QStringLiteral("next"), QStringLiteral("1"), QStringLiteral("u")), 1);
}

QTEST_MAIN(ControlTest)
#include "control_test.moc"
