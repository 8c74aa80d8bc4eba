// Whole imports through real LibreOffice instances against the loopback server:
// documents the test writes itself, converted, cleaned, their pictures uploaded
// and the article posted.
#include "ImportFixture.h"
#include "office/OfficeSamples.h"
#include "util/PageSeparator.h"
#include "platform/AutomationError.h"
#include "platform/CodePage.h"
#include "platform/office/OfficeBackend.h"
#include "platform/office/OfficeConstants.h"

#include <QCryptographicHash>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QtTest>
#include <csignal>

using namespace tx;
using namespace tx::test;
using namespace tx::office;

namespace {

QByteArray digest(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

// The parts of a posted content, without the empty text after the last separator.
QStringList pagesOf(const QString &content)
{
    QStringList pages = content.split(PAGE_SEPARATOR);
    if (!pages.isEmpty() && pages.last().isEmpty())
        pages.removeLast();
    return pages;
}

} // namespace

class LoImportTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void word_data();
    void word();
    void presentation_data();
    void presentation();
    void workbook();
    void clipboardIsKept();
    void killedInstanceIsReplaced();

private:
    // Imports `file` with `run`, checks that the file is untouched and nothing of
    // the call is left, and hands back the one article posted.
    template <typename Run>
    void importChecked(ImportFixture &f, const QString &file, Run &&run, PostedArticle &article);

    QTemporaryDir samplesDir;
};

void LoImportTest::initTestCase()
{
    const QString dir = samplesDir.path();
    samples::writeText(dir + "/three.fodt", 3, 2);
    samples::writeText(dir + "/twelve.fodt", 12, 0);
    samples::writePresentation(dir + "/two.fodp", {"First slide", "Second slide"}, "en", "US");
    samples::writePresentation(dir + "/zh.fodp", {"一", "二"}, "zh", "CN");
    samples::writeSpreadsheet(dir + "/three.fods", {"Alpha", "Beta", "Gamma"}, 2);
    try {
        auto w = backend().createWord();
        for (const char *name : {"three", "twelve"}) {
            auto doc = w->DocumentsOpen(dir + "/" + name + ".fodt");
            doc->SaveAs(dir + "/" + name + ".docx", wdFormatXMLDocument);
            doc->Close(false, false);
        }
        auto pp = backend().createPowerPoint();
        for (const char *name : {"two", "zh"}) {
            auto p = pp->PresentationsOpen(dir + "/" + name + ".fodp");
            p->SaveAs(dir + "/" + name + ".pptx", ppSaveAsOpenXMLPresentation);
            p->Close();
        }
        pp->Quit();
        auto xl = backend().createExcel();
        auto book = xl->WorkbooksOpen(dir + "/three.fods");
        book->SaveAs(dir + "/three.xlsx", xlOpenXMLWorkbook, xlNoChange);
        book->Close();
    } catch (const AutomationError &e) {
        QFAIL(qPrintable(e.description));
    }
}

void LoImportTest::cleanupTestCase()
{
    backend().shutdown();
}

template <typename Run>
void LoImportTest::importChecked(ImportFixture &f, const QString &file, Run &&run, PostedArticle &article)
{
    const QByteArray before = digest(file);
    try {
        QCOMPARE(run(), 1);
    } catch (const AutomationError &e) {
        QFAIL(qPrintable(e.description));
    }
    QCOMPARE(digest(file), before);
    QCOMPARE(QDir(QFileInfo(file).path()).entryList({".~lock*"}, QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(f.workFolderEntries(), QStringList());
    QCOMPARE(f.articles().size(), 1);
    article = f.articles().value(0);
}

void LoImportTest::word_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("paged");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("picturePage");
    QTest::newRow("three pages, paged") << "three" << true << 3 << 2;
    QTest::newRow("three pages, whole") << "three" << false << 3 << 2;
    QTest::newRow("twelve pages, paged") << "twelve" << true << 12 << 0;
}

void LoImportTest::word()
{
    QFETCH(QString, name);
    QFETCH(bool, paged);
    QFETCH(int, pages);
    QFETCH(int, picturePage);
    ImportFixture f(false);
    const QString file = samplesDir.path() + "/" + name + ".docx";
    PostedArticle a;
    importChecked(
        f, file,
        [&] {
            return paged ? f.control->ImportDocFile(file, "7", "editor")
                         : f.control->ImportDocFileOnePage(file, "7", "editor");
        },
        a);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(a.title, name);
    const QStringList parts = pagesOf(a.content);
    QCOMPARE(parts.size(), paged ? pages : 1);
    for (int i = 1; i <= pages; ++i) {
        const QString marker = QStringLiteral("Marker page %1").arg(i);
        QVERIFY2(parts[paged ? i - 1 : 0].contains(marker), qPrintable(marker));
    }
    const int pictures = picturePage ? 1 : 0;
    QCOMPARE(f.pictureUploads().size(), pictures);
    if (pictures)
        QVERIFY2(parts[paged ? picturePage - 1 : 0].contains("src=\"/pics/0.jpg\""),
                 qPrintable(parts.value(picturePage - 1)));
}

void LoImportTest::presentation_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("word");
    QTest::newRow("english") << "two" << "Slide";
    QTest::newRow("chinese") << "zh" << "幻灯片";
}

void LoImportTest::presentation()
{
    QFETCH(QString, name);
    QFETCH(QString, word);
    ImportFixture f(false);
    const QString file = samplesDir.path() + "/" + name + ".pptx";
    PostedArticle a;
    importChecked(f, file, [&] { return f.control->ImportPPTFile(file, "7", "editor"); }, a);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(a.title, name + ".pptx");
    const QList<ReceivedRequest> uploads = f.pictureUploads();
    QCOMPARE(uploads.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QByteArray jpeg = uploads[i].field(codepage::encode(word + QString::number(i + 1) + ".jpg"));
        QVERIFY(jpeg.startsWith("\xFF\xD8"));
    }
    QCOMPARE(pagesOf(a.content),
             (QStringList{"<img src=\"/pics/0.jpg\" width=\"800\" height=\"600\">",
                          "<img src=\"/pics/1.jpg\" width=\"800\" height=\"600\">"}));
}

void LoImportTest::workbook()
{
    ImportFixture f(false);
    const QString file = samplesDir.path() + "/three.xlsx";
    PostedArticle a;
    importChecked(f, file, [&] { return f.control->ImportXlsFile(file, "7", "editor"); }, a);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(a.title, QStringLiteral("Alpha"));
    const QStringList parts = pagesOf(a.content);
    QCOMPARE(parts.size(), 3);
    for (int i = 1; i <= 3; ++i)
        QVERIFY(parts[i - 1].contains(QStringLiteral("Marker sheet %1").arg(i)));
    QCOMPARE(f.pictureUploads().size(), 1);
    QVERIFY2(parts[1].contains("src=\"/pics/0.jpg\""), qPrintable(parts[1]));
}

void LoImportTest::clipboardIsKept()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs a real X server (run under xvfb-run)");
    const QString text = QStringLiteral("kept across the import");
    QGuiApplication::clipboard()->setText(text);
    ImportFixture f(false);
    const QString file = samplesDir.path() + "/three.docx";
    QCOMPARE(f.control->ImportDocFile(file, "7", "editor"), 1);
    QCOMPARE(pagesOf(f.articles().value(0).content).size(), 3);
    QCOMPARE(QGuiApplication::clipboard()->text(), text);
}

void LoImportTest::killedInstanceIsReplaced()
{
    const QString file = samplesDir.path() + "/three.docx";
    {
        ImportFixture f(false);
        QCOMPARE(f.control->ImportDocFileOnePage(file, "7", "editor"), 1);
    }
    // The backend notes the writer instance's process here.
    QFile pidFile(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/tessarix/lo-"
                  + qEnvironmentVariable("TESSARIX_OFFICE_INSTANCE") + "-writer.pid");
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const pid_t pid = pid_t(pidFile.readAll().trimmed().toLongLong());
    QVERIFY(pid > 0);
    QCOMPARE(::kill(pid, SIGKILL), 0);

    ImportFixture f(false);
    QCOMPARE(f.control->ImportDocFile(file, "7", "editor"), 1);
    QCOMPARE(pagesOf(f.articles().value(0).content).size(), 3);
}

QTEST_MAIN(LoImportTest)
#include "lo_import_test.moc"
