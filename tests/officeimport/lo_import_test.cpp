// Whole imports through real LibreOffice instances against the loopback server:
// documents the test writes itself, converted, cleaned, their pictures uploaded
// and the article posted.
#include "ImportFixture.h"
#include "office/OfficeSamples.h"
#include "util/PageSeparator.h"
#include "core/AutomationError.h"
#include "core/CodePage.h"
#include "office/OfficeBackend.h"
#include "office/OfficeConstants.h"

#include <QCryptographicHash>
#include <QClipboard>
#include <QDir>
#include <QRegularExpression>
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

// Documents of one feature each, written by LibreOffice from flat XML.
const char *const kFeatures[] = {"comments", "footnotes", "endnotes", "lists", "tables", "textboxes", "picture", "empty"};

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
    void notTheDocumentItClaims_data();
    void notTheDocumentItClaims();
    void hiddenSheetGivesNoPage();
    void sharedInstanceIsEndedOnlyWhenUnused();

private:
    // Imports `file` with `run`, checks that the file is untouched and nothing of
    // the call is left, and hands back the one article posted.
    template <typename Run>
    void importChecked(ImportFixture &f, const QString &file, Run &&run, PostedArticle &article);
    void importWord(ImportFixture &f, const QString &file, bool paged, PostedArticle &article)
    {
        importChecked(
            f, file,
            [&] {
                return paged ? f.control->ImportDocFile(file, "7", "editor")
                             : f.control->ImportDocFileOnePage(file, "7", "editor");
            },
            article);
    }

    QTemporaryDir samplesDir;
};

void LoImportTest::initTestCase()
{
    const QString dir = samplesDir.path();
    samples::writeText(dir + "/three.fodt", 3, 2);
    samples::writeText(dir + "/twelve.fodt", 12, 0);
    samples::writeMixed(dir + "/mixed.fodt");
    samples::writePresentation(dir + "/two.fodp", {"First slide", "Second slide"}, "en", "US");
    samples::writePresentation(dir + "/zh.fodp", {"一", "二"}, "zh", "CN");
    samples::writeSpreadsheet(dir + "/three.fods", {"Alpha", "Beta", "Gamma"}, 2);
    samples::writeSpreadsheet(dir + "/hidden.fods", {"Alpha", "Beta", "Gamma"}, 0, 2);
    for (const char *feature : kFeatures)
        samples::writeFeature(dir + "/" + feature + ".fodt", QString::fromLatin1(feature));
    samples::writeDocx(dir + "/strict.docx", "strict");
    samples::writeDocx(dir + "/linked.docx", "linked");
    samples::writeDocx(dir + "/linked-cjk.docx", "linked-cjk");
    samples::writeDocx(dir + "/commented.docx", "commented");
    samples::writeDocx(dir + "/counted.docx", "counted");
    for (const QString &name : {QStringLiteral("tiny-picture.png"), QStringLiteral("tiny picture 图.png")}) {
        QFile picture(dir + "/" + name);
        QVERIFY(picture.open(QIODevice::WriteOnly));
        picture.write(samples::png(12, 9));
    }
    QFile random(dir + "/random.docx");
    QVERIFY(random.open(QIODevice::WriteOnly));
    for (int i = 0; i < 4096; ++i)
        random.write(QByteArray(1, char((i * 7919 + 13) % 251)));
    random.close();
    QFile::copy(dir + "/random.docx", dir + "/random.xlsx");
    try {
        auto w = backend().createWord();
        QStringList texts{"three", "twelve", "mixed"};
        for (const char *feature : kFeatures)
            texts << QString::fromLatin1(feature);
        for (const QString &name : texts) {
            auto doc = w->DocumentsOpen(dir + "/" + name + ".fodt");
            doc->SaveAs(dir + "/" + name + ".docx", wdFormatXMLDocument);
            if (name == u"three")
                doc->SaveAs(dir + "/locked.doc", wdFormatDocument, "secret");
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
        for (const char *name : {"three", "hidden"}) {
            auto book = xl->WorkbooksOpen(dir + "/" + name + ".fods");
            book->SaveAs(dir + "/" + name + ".xlsx", xlOpenXMLWorkbook, xlNoChange);
            book->Close();
        }
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

// The generated documents, and documents written by other tools (each feature
// by itself), whole and paged.
void LoImportTest::word_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("paged");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("picturePage");
    QTest::addColumn<bool>("copied"); // page by page in the office, not cut from one export
    QTest::newRow("three pages, paged") << "three" << true << 3 << 2 << false;
    QTest::newRow("three pages, whole") << "three" << false << 3 << 2 << false;
    QTest::newRow("twelve pages, paged") << "twelve" << true << 12 << 0 << false;
    // Pages that open with a table, and one page document serving every page:
    // nothing of one page may go missing or stay for the next.
    QTest::newRow("mixed, paged") << "mixed" << true << 4 << 0 << false;
    QTest::newRow("mixed, whole") << "mixed" << false << 4 << 0 << false;
    QTest::newRow("mixed, copied") << "mixed" << true << 4 << 0 << true;
    // Comments never end the office, and neither mode shows them.
    QTest::newRow("commented, whole") << "commented" << false << 2 << 0 << false;
    QTest::newRow("commented, paged") << "commented" << true << 2 << 0 << false;
    QTest::newRow("commented, copied") << "commented" << true << 2 << 0 << true;
    // A field showing the word count: counted before the export, never the
    // figure last saved.
    QStringList names{"strict", "linked", "linked-cjk", "counted"};
    for (const char *feature : kFeatures)
        names << QString::fromLatin1(feature);
    for (const QString &n : names) {
        // The HTML export draws a text box as a picture.
        const int picture = n == u"picture" || n.startsWith(u"linked") || n == u"textboxes" ? 1 : 0;
        QTest::newRow(qPrintable(n + ", whole")) << n << false << 1 << picture << false;
        QTest::newRow(qPrintable(n + ", paged")) << n << true << 1 << picture << false;
    }
}

void LoImportTest::word()
{
    QFETCH(QString, name);
    QFETCH(bool, paged);
    QFETCH(int, pages);
    QFETCH(int, picturePage);
    QFETCH(bool, copied);
    ImportFixture f(false);
    const QString file = samplesDir.path() + "/" + name + ".docx";
    PostedArticle a;
    if (copied)
        qputenv("TESSARIX_OFFICE_PAGE_COPY", "1");
    importWord(f, file, paged, a);
    qunsetenv("TESSARIX_OFFICE_PAGE_COPY");
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(a.title, name);
    QStringList parts = pagesOf(a.content);
    QCOMPARE(parts.size(), paged ? pages : 1);
    for (QString &p : parts)
        p = p.simplified(); // the export breaks lines anywhere
    const bool numbered = name == u"three" || name == u"twelve" || name == u"mixed" || name == u"commented";
    QVERIFY2(!a.content.contains("remark") && !a.content.contains("A reply"), qPrintable(a.content));
    for (int i = 1; i <= pages && name != u"empty"; ++i) {
        const QString marker = numbered ? QStringLiteral("Marker page %1").arg(i) : "Marker " + name;
        QVERIFY2(parts[paged ? i - 1 : 0].contains(marker), qPrintable(marker + ": " + a.content));
    }
    // Each page holds its own text and nothing of another page.
    for (int i = 1; numbered && paged && i <= pages; ++i) {
        QStringList seen;
        QRegularExpressionMatchIterator m = QRegularExpression("Marker page (\\d+)").globalMatch(parts[i - 1]);
        while (m.hasNext())
            seen << m.next().captured(1);
        QCOMPARE(seen, QStringList{QString::number(i)});
    }
    if (name == u"mixed" && paged)
        for (auto [text, page] : {std::pair{"Cell 0", 1}, std::pair{"The note", 2}, std::pair{"Listed", 3}, std::pair{"Cell A", 4}, std::pair{"Cell B", 4}})
            for (int i = 1; i <= pages; ++i)
                QVERIFY2(parts[i - 1].contains(QLatin1String(text)) == (i == page), qPrintable(text + (" on page " + QString::number(i))));
    const int pictures = picturePage ? 1 : 0;
    QCOMPARE(f.pictureUploads().size(), pictures);
    if (pictures)
        QVERIFY2(parts[paged ? picturePage - 1 : 0].contains("src=\"/pics/0.jpg\""),
                 qPrintable(parts.value(picturePage - 1)));
    if (name == u"counted")
        QVERIFY2(!a.content.contains("12345") && QRegularExpression(">\\s*[1-9]\\s*<").match(a.content).hasMatch(),
                 qPrintable(a.content));
    if (name == u"linked")
        QCOMPARE(f.pictureUploads().value(0).field("tiny-picture.png"), samples::png(12, 9));
    if (name == u"linked-cjk") {
        bool sent = false;
        for (const MultipartPart &p : f.pictureUploads().value(0).parts())
            sent = sent || p.data == samples::png(12, 9);
        QVERIFY(sent);
    }
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

    {
        ImportFixture f(false);
        QCOMPARE(f.control->ImportDocFile(file, "7", "editor"), 1);
        QCOMPARE(pagesOf(f.articles().value(0).content).size(), 3);
    }

    // Stopped while a page's picture is uploaded, so that the page document's
    // emptying for the next page meets a stopped office: the user reads that
    // the office stopped, nothing is posted or left, and the next import works.
    {
        ImportFixture f(false);
        pidFile.close();
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const pid_t stopped = pid_t(pidFile.readAll().trimmed().toLongLong());
        QVERIFY(stopped > 0 && stopped != pid);
        f.server.setAnswerFor([&](int index, const ReceivedRequest &r) {
            if (!r.requestLine().contains(kPostPath)) {
                ::kill(stopped, SIGSTOP);
                backend().setCallTimeLimitMs(2000);
            }
            return TestHttpServer::okResponse("/pics/" + QByteArray::number(index));
        });
        try {
            f.control->ImportDocFile(file, "7", "editor");
            QFAIL("imported");
        } catch (const AutomationError &e) {
            QCOMPARE(e.description, QStringLiteral("转换文档时办公程序意外停止：") + file);
        }
        backend().setCallTimeLimitMs(kDefaultCallTimeLimitMs);
        QCOMPARE(f.articles().size(), 0);
        QCOMPARE(f.workFolderEntries(), QStringList());
        QVERIFY(!QFile::exists(QStringLiteral("/proc/%1").arg(stopped)));
    }
    ImportFixture f(false);
    QCOMPARE(f.control->ImportDocFile(file, "7", "editor"), 1);
    QCOMPARE(pagesOf(f.articles().value(0).content).size(), 3);
}

// Random bytes named .docx open in the office as plain text: never posted as an
// article of mojibake.
void LoImportTest::notTheDocumentItClaims_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("docx") << "random.docx";
    QTest::newRow("xlsx") << "random.xlsx";
    QTest::newRow("locked by a password") << "locked.doc";
}

void LoImportTest::notTheDocumentItClaims()
{
    QFETCH(QString, name);
    ImportFixture f(false);
    const QString file = samplesDir.path() + "/" + name;
    try {
        if (!name.endsWith("xlsx"))
            f.control->ImportDocFileOnePage(file, "7", "editor");
        else
            f.control->ImportXlsFile(file, "7", "editor");
        QFAIL("imported");
    } catch (const AutomationError &e) {
        QCOMPARE(e.number, int32_t(ErrAutomation));
        QCOMPARE(e.source, QStringLiteral("OfficeImport"));
        QCOMPARE(e.description, QStringLiteral("无法打开文档：") + file);
    }
    QCOMPARE(f.server.requests.size(), 0);
    QCOMPARE(f.workFolderEntries(), QStringList());
}

void LoImportTest::hiddenSheetGivesNoPage()
{
    ImportFixture f(false);
    const QString file = samplesDir.path() + "/hidden.xlsx";
    PostedArticle a;
    importChecked(f, file, [&] { return f.control->ImportXlsFile(file, "7", "editor"); }, a);
    if (QTest::currentTestFailed())
        return;
    const QStringList parts = pagesOf(a.content);
    QCOMPARE(parts.size(), 2);
    QVERIFY2(parts[0].contains("Marker sheet 1") && !parts[0].contains("Marker sheet 2"), qPrintable(parts[0]));
    QVERIFY2(parts[1].contains("Marker sheet 3") && !parts[1].contains("Marker sheet 2"), qPrintable(parts[1]));
}

// One instance serves every control and process: the restart of a worn one and
// the presentation program's Quit wait until nobody has a document open in it.
void LoImportTest::sharedInstanceIsEndedOnlyWhenUnused()
{
    if (qEnvironmentVariableIntValue("TESSARIX_OFFICE_RESTART_AFTER") != 1)
        QSKIP("runs in a process of its own, with TESSARIX_OFFICE_RESTART_AFTER=1");
    ImportFixture a(false);
    ImportFixture b(false);
    const QString three = samplesDir.path() + "/three.docx";
    const QString twelve = samplesDir.path() + "/twelve.docx";
    bool inner = false;
    QString innerError;
    a.server.setAnswerFor([&](int index, const ReceivedRequest &r) {
        if (!inner && !r.requestLine().contains(kPostPath)) {
            // A's document is open in the worn instance while B imports, page
            // by page too, between two of A's pages.
            inner = true;
            try {
                b.control->ImportDocFile(twelve, "7", "editor");
            } catch (const AutomationError &e) {
                innerError = e.description;
            }
        }
        return TestHttpServer::okResponse(r.requestLine().contains(kPostPath) ? "ok" : "/pics/" + QByteArray::number(index));
    });
    try {
        QCOMPARE(a.control->ImportDocFile(three, "7", "editor"), 1);
    } catch (const AutomationError &e) {
        QFAIL(qPrintable(e.description));
    }
    QVERIFY(inner);
    QCOMPARE(innerError, QString());
    // Each page holds its own import's text and nothing of the other's.
    for (auto [f, pages] : {std::pair{&a, 3}, std::pair{&b, 12}}) {
        QCOMPARE(f->articles().size(), 1);
        const QStringList parts = pagesOf(f->articles().value(0).content);
        QCOMPARE(parts.size(), pages);
        for (int i = 1; i <= pages; ++i) {
            const QRegularExpressionMatch m = QRegularExpression("Marker\\s+page\\s+(\\d+)").match(parts[i - 1]);
            QCOMPARE(m.captured(1), QString::number(i));
            QCOMPARE(parts[i - 1].count("Marker"), 1);
        }
    }

    // Quit leaves the presentation another holds open alone.
    auto pp = backend().attachPowerPoint();
    if (!pp)
        pp = backend().createPowerPoint();
    auto held = pp->PresentationsOpen(samplesDir.path() + "/two.pptx");
    const QString zh = samplesDir.path() + "/zh.pptx";
    try {
        QCOMPARE(b.control->ImportPPTFile(zh, "7", "editor"), 1);
        QCOMPARE(held->SlidesCount(), 2);
    } catch (const AutomationError &e) {
        QFAIL(qPrintable(e.description));
    }
    held->Close();
}

QTEST_MAIN(LoImportTest)
#include "lo_import_test.moc"
