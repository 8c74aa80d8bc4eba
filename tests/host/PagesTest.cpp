// Whole pages through build/bin/tessarix: errors as scripts see them, the
// registry and its fallback, and FileUpload driven end to end.
#include "PageRunner.h"
#include "support/TestHttpServer.h"

#include <QDir>
#include <QFile>
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

    const PageRun thrown = page(QStringLiteral("console.log('before');\nvar f = new ActiveXObject('Tessarix5.FileUpload');\n"
                                               "f.GetFileSize(P + '.missing');\nconsole.log('after');\n"));
    EXPECT_EQ(thrown.status, 1);
    EXPECT_EQ(thrown.out, QStringLiteral("before\n"));
    EXPECT_TRUE(thrown.err.contains(QStringLiteral("Uncaught exception"))) << thrown.err.toStdString();
    EXPECT_TRUE(thrown.err.contains(QString::number(int32_t(0x800A0035)))) << thrown.err.toStdString();
    EXPECT_TRUE(thrown.err.contains(QStringLiteral("page.js:4"))) << thrown.err.toStdString();

    const PageRun late = page(QStringLiteral("automation.after(5, function () { throw new Error('late'); });\n"
                                             "automation.pump(100);\nconsole.log('done');\n"));
    EXPECT_EQ(late.status, 1);
    EXPECT_EQ(late.out, QStringLiteral("done\n"));
    EXPECT_TRUE(late.err.contains(QStringLiteral("late")));
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

TEST_F(Pages, MembersExampleListsEveryClass)
{
    const PageRun r = runner.tessarix({QStringLiteral("run"), QStringLiteral(TX_SOURCE_DIR "/examples/members.js")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.count(QStringLiteral("Tessarix5.")), 6);
    EXPECT_TRUE(r.out.contains(QStringLiteral("6003000E  GetFileSize(p_filename: string): long")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("[pObjectType: long = 1]")));
}

} // namespace
