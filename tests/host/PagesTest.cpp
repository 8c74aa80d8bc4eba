// Whole pages through build/bin/tessarix: errors as scripts see them, the
// registry and its fallback, and FileUpload driven end to end.
#include "PageRunner.h"
#include "support/TestHttpServer.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using tx::test::PageRun;
using tx::test::PageRunner;

namespace {

class Pages : public ::testing::Test {
protected:
    void SetUp() override
    {
        sample = runner.dir() + QStringLiteral("/Sample.txt");
        QFile f(sample);
        f.open(QIODevice::WriteOnly);
        f.write("hello, server\n");
    }
    // The page with `P` bound to the sample file's path.
    PageRun page(const QString &body)
    {
        return runner.run(QStringLiteral("var P = %1;\n").arg(quoted(sample)) + body);
    }
    static QString quoted(const QString &s) { return QLatin1Char('"') + s + QLatin1Char('"'); }

    PageRunner runner;
    QString sample;
};

TEST_F(Pages, ErrorsReachTheScriptWithNumberSourceAndDescription)
{
    struct Case {
        const char *code;
        uint32_t number;
        const char *source;
        const char *description; // the description starts with this
    } const cases[] = {
        {"new ActiveXObject('Tessarix5.Nothing')", 0x800A01AD, "Tessarix5", "ActiveX component can't create object"},
        {"new ActiveXObject('Tessarix5.CompondFile')", 0x800A01AD, "Tessarix5", "ActiveX component can't create object"},
        {"new ActiveXObject('FileUpload')", 0x800A01AD, "Tessarix5", "ActiveX component can't create object"},
        {"f.NoSuchMember()", 0x800A01B6, "Tessarix5", "Object doesn't support this property or method: NoSuchMember"},
        {"'' + f.NoSuchProperty", 0x800A01B6, "Tessarix5", "Object doesn't support this property or method"},
        {"f.NoSuchProperty = 1", 0x800A01B6, "Tessarix5", "Object doesn't support this property or method"},
        {"f.StartUpload('a')", 0x800A01C1, "Tessarix5", "Argument not optional"},
        {"f.GetFileSize(P, P)", 0x800A01C2, "Tessarix5", "Wrong number of arguments or invalid property assignment"},
        {"f.StartUpload('s', 'http://127.0.0.1:1/u.asp', P, 'abc')", 0x800A000D, "Tessarix5", "Type mismatch"},
        {"f.StartUpload('s', 'http://127.0.0.1:1/u.asp', P, 3e10)", 0x800A0006, "Tessarix5", "Overflow"},
        {"f.GetFileSize(P + '.missing')", 0x800A0035, "Tessarix5", "File not found: /"},
        {"f.StartUpload('s', 'not a url', P, 1)", 0x80040000, "Error", "错误的URL"},
        // The package's own error, with its source text and no description.
        {"f.AddUploadFile('a', P); f.AddUploadFile('b', P.toUpperCase())", 0x800A270F,
         "CompondFile:AddUploadFile Method", ""},
    };
    QString body = QStringLiteral("var f = new ActiveXObject('Tessarix5.FileUpload');\n");
    for (const Case &c : cases)
        body += QStringLiteral("try { %1; console.log('no error'); } catch (e) { console.log(e.number + '|' + e.source + "
                               "'|' + e.description + '|' + (e.message === e.description)); }\n")
                    .arg(QLatin1String(c.code));
    const PageRun r = page(body);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), qsizetype(std::size(cases))) << r.out.toStdString();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const QStringList parts = lines[qsizetype(i)].split(u'|');
        ASSERT_EQ(parts.size(), 4) << cases[i].code << ": " << lines[qsizetype(i)].toStdString();
        EXPECT_EQ(parts[0].toInt(), int32_t(cases[i].number)) << cases[i].code;
        EXPECT_EQ(parts[1], QString::fromUtf8(cases[i].source)) << cases[i].code;
        EXPECT_TRUE(parts[2].startsWith(QString::fromUtf8(cases[i].description)))
            << cases[i].code << ": " << parts[2].toStdString();
        if (!*cases[i].description) {
            EXPECT_TRUE(parts[2].isEmpty()) << cases[i].code;
        }
        EXPECT_EQ(parts[3], QStringLiteral("true")) << cases[i].code;
    }
}

TEST_F(Pages, MembersInAnyCaseAndExitStatus)
{
    const PageRun ok = page(QStringLiteral("var f = new ActiveXObject('TESSARIX5.FILEUPLOAD');\n"
                                           "f.newfilename = 7;\n"
                                           "console.log(f.NEWFILENAME, typeof f.NewFileName, f.getfilesize(P));\n"));
    EXPECT_EQ(ok.status, 0) << ok.err.toStdString();
    EXPECT_EQ(ok.out, QStringLiteral("7 string 14\n"));
    EXPECT_EQ(ok.err, QString()); // nothing but what the page prints

    const PageRun thrown = page(QStringLiteral("console.log('before');\nvar f = new ActiveXObject('Tessarix5.FileUpload');\n"
                                               "f.GetFileSize(P + '.missing');\nconsole.log('after');\n"));
    EXPECT_EQ(thrown.status, 1);
    EXPECT_EQ(thrown.out, QStringLiteral("before\n"));
    EXPECT_TRUE(thrown.err.contains(QStringLiteral("Uncaught exception"))) << thrown.err.toStdString();
    EXPECT_TRUE(thrown.err.contains(QString::number(int32_t(0x800A0035)))) << thrown.err.toStdString();
    EXPECT_TRUE(thrown.err.contains(QStringLiteral("page.js:4"))) << thrown.err.toStdString();

    // Anything an after() callback throws ends the page with status 1, printed.
    for (const char *thrown : {"new Error('late')", "'plain late'", "f.GetFileSize(P + '.missing')"}) {
        const PageRun late = page(QStringLiteral("var f = new ActiveXObject('Tessarix5.FileUpload');\n"
                                                 "automation.after(5, function () { throw %1; });\n"
                                                 "automation.pump(100);\nconsole.log('done');\n")
                                      .arg(QLatin1String(thrown)));
        EXPECT_EQ(late.status, 1) << thrown;
        EXPECT_EQ(late.out, QStringLiteral("done\n")) << thrown;
        EXPECT_TRUE(late.err.contains(QStringLiteral("Uncaught exception: "))) << late.err.toStdString();
        EXPECT_TRUE(late.err.contains(QStringLiteral("late")) ||
                    late.err.contains(QString::number(int32_t(0x800A0035)) + QStringLiteral(" (0x800a0035), source \"Tessarix5\"")))
            << late.err.toStdString();
    }
}

TEST_F(Pages, RegistryIsConsultedAndUnregisteredProgIdsFallBack)
{
    const QString create = QStringLiteral(
        "try { new ActiveXObject('Tessarix5.Helper'); console.log('created'); }"
        " catch (e) { console.log(e.number + ' ' + e.description); }\n");
    EXPECT_EQ(page(create).out, QStringLiteral("created\n")); // nothing registered: the bundled library

    const PageRun reg = runner.tessarix({QStringLiteral("register")});
    ASSERT_EQ(reg.status, 0) << reg.err.toStdString();
    const QString registryFile = runner.configHome() + QStringLiteral("/tessarix/registry.json");
    ASSERT_TRUE(QFile::exists(registryFile));
    EXPECT_TRUE(QFile::exists(runner.configHome() + QStringLiteral("/tessarix/Tessarix5.json")));
    EXPECT_EQ(page(create).out, QStringLiteral("created\n"));

    // Point the registered class at a library that is not there: the host must
    // use the registry, not the fallback.
    QFile f(registryFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
    f.close();
    QJsonObject classes = root.value("CLSID").toObject();
    for (const QString &key : classes.keys()) {
        QJsonObject c = classes.value(key).toObject();
        c.insert("InprocServer32", runner.dir() + "/gone/libPelliform.so");
        classes.insert(key, c);
    }
    root.insert("CLSID", classes);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QJsonDocument(root).toJson());
    f.close();
    const PageRun broken = page(create);
    EXPECT_TRUE(broken.out.startsWith(QString::number(int32_t(0x800A01AD)))) << broken.out.toStdString();
    EXPECT_TRUE(broken.out.contains(QStringLiteral("gone/libPelliform.so"))) << broken.out.toStdString();

    const PageRun unreg = runner.tessarix({QStringLiteral("unregister")});
    ASSERT_EQ(unreg.status, 0) << unreg.err.toStdString();
    EXPECT_FALSE(QFile::exists(registryFile));
    EXPECT_FALSE(QFile::exists(runner.configHome() + QStringLiteral("/tessarix/Tessarix5.json")));
    EXPECT_EQ(page(create).out, QStringLiteral("created\n"));

    // A truncated registry (someone else's entries in it) is refused, not replaced.
    const QByteArray truncated = QJsonDocument(root).toJson().left(100);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(truncated);
    f.close();
    for (const char *command : {"register", "unregister"}) {
        const PageRun refused = runner.tessarix({QString::fromLatin1(command)});
        EXPECT_EQ(refused.status, 1) << command;
        EXPECT_TRUE(refused.err.contains(registryFile + QStringLiteral(" could not be read"))) << refused.err.toStdString();
        EXPECT_TRUE(refused.out.isEmpty()) << refused.out.toStdString();
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), truncated) << command;
        f.close();
    }
    EXPECT_FALSE(QFile::exists(runner.configHome() + QStringLiteral("/tessarix/Tessarix5.json")));
}

TEST_F(Pages, FileUploadThroughTheAutomationApi)
{
    tx::test::TestHttpServer server;
    server.setMode(tx::test::TestHttpServer::Mode::Ok, "/files/news/Sample.txt");
    const PageRun r = page(QStringLiteral(
        "var f = new ActiveXObject('Tessarix5.FileUpload');\n"
        "var bar = automation.child(f, 'pbFile');\n"
        "console.log(bar.value);\n"
        "f.StartUpload('news', %1, P, 12);\n"
        "console.log(f.NewFileName);\n"
        "console.log(bar.value, bar.visible, bar.enabled);\n"
        "try { automation.child(f, 'btnNothing'); } catch (e) { console.log(e.description); }\n")
                               .arg(quoted(server.url())));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("0\n/files/news/Sample.txt\n100 true true\n"
                                    "Invalid procedure call or argument: FileUpload has no child control named "
                                    "\"btnNothing\"\n"));
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_EQ(server.requests[0].field("contentid"), QByteArray("12"));
}

TEST_F(Pages, AfterFiresWhileAMemberIsStillWaiting)
{
    tx::test::TestHttpServer server;
    server.setMode(tx::test::TestHttpServer::Mode::Silent);
    const PageRun r = page(QStringLiteral(
        "var f = new ActiveXObject('Tessarix5.FileUpload');\n"
        "automation.after(30, function () { console.log('after: requests sent'); });\n"
        "f.StartUpload('news', %1, P, 1);\n"
        "console.log('StartUpload returned');\n")
                               .arg(quoted(server.url())));
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("after: requests sent\nStartUpload returned\n"));
}

// Whatever the page or a person starts while a member or a start button's loop of
// the same object pumps events is refused as busy (reads pass), and the running
// call or loop still ends by its own rule, with its own answer.
TEST_F(Pages, ReentryIsRefusedOnEveryControlKind)
{
    tx::test::TestHttpServer server;
    // A slow answer: every call below is still waiting when its after() fires.
    server.setMode(tx::test::TestHttpServer::Mode::Split, "/files/" + QByteArray(120, 'a'));
    server.setPieceSize(1);
    const QString dir = runner.dir();
    QDir(dir).mkpath(QStringLiteral("tree"));
    for (const char *name : {"tree/one.txt", "tree/two.txt"}) {
        QFile f(dir + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(name);
    }
    QImage picture(16, 12, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    ASSERT_TRUE(picture.save(dir + QStringLiteral("/pic.jpg")));
    runner.setEnv(QStringLiteral("TESSARIX_OFFICE"), QStringLiteral("fake"));

    const PageRun r = page(QStringLiteral(R"(var URL = %1, POST = %2, TREE = %3, PIC = %4;
var BUSY = -2147221503;
function attempt(what, fn) {
  try { fn(); console.log(what + ': passed'); }
  catch (e) {
    console.log(what + ': ' + (e.number === BUSY && e.description === '控件正忙，请稍后再试。'
                               ? 'busy ' + e.source : 'error ' + e.number + ' ' + e.description));
  }
}
var seen = 0;
function newBoxes() {
  var all = automation.messageBoxes(), texts = [];
  for (; seen < all.length; ++seen) texts.push(all[seen].text);
  return texts.join('|');
}

var f = new ActiveXObject('Tessarix5.FileUpload');
automation.after(20, function () {
  attempt('f.StartUpload', function () { f.StartUpload('other', URL, P, 2); });
  attempt('f.NewFileName=', function () { f.NewFileName = 'x'; });
  attempt('f.NewFileName', function () { return f.NewFileName; });
});
f.StartUpload('news', URL, P, 1);
console.log('f: ' + f.NewFileName.length);

var m = new ActiveXObject('Tessarix5.MultiUpload');
m.StartUpload('up', URL);
automation.answerFolderDialogs([TREE]);
automation.child(m, 'Command1').click();
automation.after(20, function () {
  attempt('m.StartUpload', function () { m.StartUpload('elsewhere', URL); });
  attempt('m.addFormData', function () { m.addFormData('a', 'b'); });
});
automation.child(m, 'Command2').click();
console.log('m: ' + newBoxes());

var ii = new ActiveXObject('Tessarix5.ImageImport');
ii.Init(URL, POST, '/pictures/', 7, 'editor', 'mark');
automation.answerFileDialogs([[PIC]]);
automation.child(ii, 'btnAddFile').click();
automation.after(20, function () { automation.child(ii, 'btnBegin').click(); });
ii.StartUpload(PIC);
console.log('ii: ' + newBoxes());
automation.after(20, function () {
  attempt('ii.Init', function () { ii.Init(URL, POST, '/x/', 1, 'u', 'w'); });
  attempt('ii.StartUpload', function () { ii.StartUpload(PIC); });
});
automation.answerMessageBoxes(['Yes']);
automation.child(ii, 'btnBegin').click();
console.log('ii batch: ' + newBoxes() + ' ' + automation.child(ii, 'lstLog').items.length);

var o = new ActiveXObject('Tessarix5.OfficeImport');
o.Init(URL, POST, '/articles/', 7, 'editor');
automation.answerFileDialogs([[P]]);
automation.child(o, 'Command1').click();
automation.after(20, function () {
  attempt('o.StartUpload', function () { o.StartUpload('sf', P, 3); });
  attempt('o.Init', function () { o.Init(URL, URL, '/y/', 1, 'u'); });
  automation.child(o, 'Command3').click();
});
console.log('o: ' + o.ImportTxt('Title\nbody', '7', 'editor') + ' ' + newBoxes());
automation.after(20, function () {
  attempt('o.ImportTxt', function () { o.ImportTxt('x', '1', 'u'); });
});
automation.child(o, 'Command3').click();
console.log('o loop: ' + /完成$/.test(automation.child(o, 'List1').items[0]) + ' ' + newBoxes());
)")
                                          .arg(quoted(server.url()), quoted(server.url(QStringLiteral("/post.asp"))),
                                               quoted(dir + QStringLiteral("/tree")), quoted(dir + QStringLiteral("/pic.jpg")))
                               + QString());
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("f.StartUpload: busy FileUpload\n"
                                    "f.NewFileName=: busy FileUpload\n"
                                    "f.NewFileName: passed\n"
                                    "f: 127\n"
                                    "m.StartUpload: busy MultiUpload\n"
                                    "m.addFormData: busy MultiUpload\n"
                                    "m: 所有文件上传完成.\n"
                                    "ii: 控件正忙，请稍后再试。\n"
                                    "ii.Init: busy ImageImport\n"
                                    "ii.StartUpload: busy ImageImport\n"
                                    "ii batch: 是否确认要进行上传操作？ 0\n"
                                    "o.StartUpload: busy OfficeImport\n"
                                    "o.Init: busy OfficeImport\n"
                                    "o: 1 控件正忙，请稍后再试。\n"
                                    "o.ImportTxt: busy OfficeImport\n"
                                    "o loop: true \n"));
    // Nothing refused reached the server: one file, two tree files, the picture
    // twice (call and batch) with the batch's article, two articles.
    EXPECT_EQ(server.requests.size(), 8);
    for (const tx::test::ReceivedRequest &q : server.requests) {
        EXPECT_NE(q.field("contentid"), QByteArray("2"));
        EXPECT_NE(q.field("contentid"), QByteArray("3"));
        EXPECT_FALSE(q.field("path").startsWith("elsewhere"));
        EXPECT_NE(q.field("columnid"), QByteArray("1"));
    }
}

TEST_F(Pages, MembersExampleListsEveryClass)
{
    const PageRun r = runner.tessarix({QStringLiteral("run"), QStringLiteral(TX_SOURCE_DIR "/examples/members.js")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.count(QStringLiteral("Tessarix5.")), 6);
    EXPECT_TRUE(r.out.contains(QStringLiteral("6003000E  GetFileSize(p_filename: string): long")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("[pObjectType: long = 1]")));
}

} // namespace
