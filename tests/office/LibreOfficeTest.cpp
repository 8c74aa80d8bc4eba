// The LibreOffice backend against real headless instances, with documents that
// the test writes itself.
#include "LoTestFixture.h"
#include "OfficeSamples.h"
#include "GTestMain.h"
#include "PageByPage.h"
#include "core/AutomationError.h"
#include "office/OfficeBackend.h"
#include "office/OfficeConstants.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QUrl>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <iostream>
#include <optional>

using namespace tx::office;
using namespace lotest;

namespace {

TEST_F(LibreOfficeTest, DocumentIsCutIntoPagesWithThePictureOnItsPage)
{
    const QString src = sampleDir + "/three.docx";
    const QByteArray before = digest(src);
    const QString html = work + "/htmA1.tmp";
    auto w = word();
    QElapsedTimer t;
    t.start();
    Paged p = pageByPage(*w, src, html);
    std::cout << "[timing] warm paged conversion of 3 pages: " << ms(t) << " ms" << std::endl;
    ASSERT_EQ(p.count, 3);
    for (int i = 1; i <= 3; ++i) {
        const QString &page = p.html[i - 1];
        for (int j = 1; j <= 3; ++j)
            EXPECT_EQ(page.contains(QStringLiteral("Marker page %1").arg(j)), i == j) << i << " " << j;
        EXPECT_EQ(page.contains("<img", Qt::CaseInsensitive), i == 2) << page.toStdString();
        EXPECT_EQ(p.pictures[i - 1].size(), i == 2 ? 1 : 0);
    }
    ASSERT_EQ(p.pictures[1].size(), 1);
    EXPECT_TRUE(p.html[1].contains("src=\"htmA1.files/" + p.pictures[1][0] + "\"")) << p.html[1].toStdString();

    // The whole document at once, warm.
    t.restart();
    auto doc = w->DocumentsOpen(src);
    doc->SaveAs(html, wdFormatHTML);
    doc->Close(false, false);
    std::cout << "[timing] warm whole conversion of 3 pages: " << ms(t) << " ms" << std::endl;
    const QString whole = readText(html);
    for (int j = 1; j <= 3; ++j)
        EXPECT_TRUE(whole.contains(QStringLiteral("Marker page %1").arg(j)));
    EXPECT_EQ(QDir(work + "/htmA1.files").entryList(QDir::Files).size(), 1);

    EXPECT_EQ(digest(src), before);
    EXPECT_EQ(leftovers(sampleDir), QStringList());
    EXPECT_EQ(leftovers(work), QStringList());
}

// The visible text of a page's body, tags and note numbers taken out (a page
// copied into a document of its own numbers its notes from 1, the cut keeps
// the document's numbers).
QString bodyText(const QString &html)
{
    QString body = html.mid(html.indexOf("<body"));
    body.remove(QRegularExpression("<a class=\"sd(foot|end)note(anc|sym)\".*?</a>", QRegularExpression::DotMatchesEverythingOption));
    body.remove(QRegularExpression("<[^>]*>"));
    return body.simplified();
}

// Pages served from the one export hold what the office's own copy of each
// page holds: the same text, the same pictures, the notes on the page that
// cites them; and the export is cut well-formed at every page start, also
// in the middle of a paragraph, of bold text, a link or a list.
TEST_F(LibreOfficeTest, PagesCutFromTheExportHoldWhatCopiedPagesHold)
{
    for (const char *name : {"prose", "mixed", "three"}) {
        const QString src = sampleDir + "/" + name + ".docx";
        auto w = word();
        qputenv("TESSARIX_OFFICE_PAGE_COPY", "1");
        QElapsedTimer t;
        t.start();
        const Paged copied = pageByPage(*w, src, work + "/htmP1.tmp");
        std::cout << "[timing] " << name << ": " << copied.count << " pages copied in " << ms(t) << " ms";
        qunsetenv("TESSARIX_OFFICE_PAGE_COPY");
        t.restart();
        const Paged cut = pageByPage(*w, src, work + "/htmP1.tmp");
        std::cout << ", cut from the export in " << ms(t) << " ms" << std::endl;
        ASSERT_EQ(cut.count, copied.count) << name;
        ASSERT_GT(cut.count, name == std::string("prose") ? 5 : 2);
        if (name == std::string("prose")) { // the document's own note numbers: the pages were cut
            EXPECT_TRUE(cut.html[1].contains("sdfootnote2anc")) << cut.html[1].toStdString();
        }
        for (int i = 0; i < cut.count; ++i) {
            EXPECT_EQ(bodyText(cut.html[i]).toStdString(), bodyText(copied.html[i]).toStdString()) << name << " page " << i + 1;
            EXPECT_EQ(cut.pictures[i].size(), copied.pictures[i].size()) << name << " page " << i + 1;
            int depth = 0;
            QRegularExpressionMatchIterator tags = QRegularExpression("<(/?)(p|b|a|ul|table|div)[ >]").globalMatch(cut.html[i]);
            while (tags.hasNext())
                depth += tags.next().captured(1).isEmpty() ? 1 : -1;
            EXPECT_EQ(depth, 0) << name << " page " << i + 1 << ": " << cut.html[i].toStdString();
        }
        QDir(work + "/htmP1.files").removeRecursively();
        QFile::remove(work + "/htmP1.tmp");
    }
    EXPECT_EQ(leftovers(work), QStringList());
}

TEST_F(LibreOfficeTest, EachApplicationObjectPastesWhatItCopied)
{
    auto a = word();
    auto b = word();
    auto x = a->DocumentsOpen(sampleDir + "/three.docx");
    auto y = b->DocumentsOpen(sampleDir + "/twelve.docx");
    for (auto [doc, page] : {std::pair{x.get(), 3}, std::pair{y.get(), 12}}) {
        auto sel = doc->WindowsSelection(1);
        sel->GoTo(wdGoToPage, page);
        sel->EndKey(wdStory, wdExtend);
        sel->Copy();
    }
    auto page = a->DocumentsAdd();
    auto kept = page->WindowsSelection(1);
    kept->Paste();
    page->SaveAs(work + "/htmD4.tmp", wdFormatHTML);
    page->Close({}, {});
    const QString html = readText(work + "/htmD4.tmp");
    EXPECT_TRUE(html.contains("Marker page 3"));
    EXPECT_FALSE(html.contains("Marker page 12"));
    // The next page document starts empty, and a selection of the closed one
    // never reaches it.
    auto next = a->DocumentsAdd();
    EXPECT_THROW(kept->Paste(), tx::AutomationError);
    next->SaveAs(work + "/htmD4.tmp", wdFormatHTML);
    next->Close({}, {});
    EXPECT_FALSE(readText(work + "/htmD4.tmp").contains("Marker page"));
    // A field showing the word count pasted into a document that had none: the
    // export counts the words for it, never writes the figure last saved.
    samples::writeDocx(work + "/countedD4.docx", "counted");
    auto counted = b->DocumentsOpen(work + "/countedD4.docx");
    auto from = counted->WindowsSelection(1);
    from->EndKey(wdStory, wdExtend);
    from->Copy();
    auto into = y->WindowsSelection(1);
    into->EndKey(wdStory, 0);
    into->Paste();
    y->SaveAs(work + "/htmD4.tmp", wdFormatHTML);
    const QString pasted = readText(work + "/htmD4.tmp");
    EXPECT_TRUE(pasted.contains("Marker counted"));
    EXPECT_FALSE(pasted.contains("12345"));
    EXPECT_TRUE(QRegularExpression("subtype=WORD[^>]*>[1-9]").match(pasted).hasMatch()) << pasted.toStdString();
    counted->Close(false, false);
    QFile::remove(work + "/countedD4.docx");
    QFile::remove(work + "/htmD4.tmp");
    x->Close(false, false);
    y->Close(false, false);
}

// The export writes what the office's own conversion of the file writes, also
// where it spares the office's word count (nothing pictured, no field showing a
// count): same bytes from the body on.
TEST_F(LibreOfficeTest, HtmlExportWritesWhatTheOfficesConversionWrites)
{
    const QString peer = root + "/peer";
    for (const char *name : {"mixed", "three", "twelve", "prose"}) {
        const QString src = sampleDir + "/" + name + ".docx";
        auto w = word();
        auto doc = w->DocumentsOpen(src);
        doc->SaveAs(work + "/htmW1.tmp", wdFormatHTML);
        doc->Close(false, false);
        QProcess convert;
        convert.setProcessChannelMode(QProcess::MergedChannels);
        convert.start("soffice", {"--headless", "-env:UserInstallation=" + QUrl::fromLocalFile(peer + "/profile").toString(),
                                  "--convert-to", "html", "--outdir", peer, src});
        ASSERT_TRUE(convert.waitForFinished(120000) && convert.exitCode() == 0) << convert.readAll().toStdString();
        const QString ours = readText(work + "/htmW1.tmp"), theirs = readText(peer + "/" + name + ".html");
        // Pictures named alike: ours are moved into the supporting folder.
        const auto body = [](const QString &html) {
            return html.mid(html.indexOf("<body")).replace(QRegularExpression("src=\"[^\"]*_(html|tmp)_"), "src=\"");
        };
        EXPECT_EQ(body(ours).toStdString(), body(theirs).toStdString()) << name;
        QDir(work + "/htmW1.files").removeRecursively();
        QFile::remove(work + "/htmW1.tmp");
    }
    EXPECT_EQ(leftovers(work), QStringList());
}

TEST_F(LibreOfficeTest, PageCountOfAHiddenTwelvePageDocument)
{
    auto w = word();
    auto doc = w->DocumentsOpen(sampleDir + "/twelve.docx");
    EXPECT_EQ(doc->BuiltInDocumentProperties(wdPropertyPages), 12);
    doc->Close(false, false);
}

TEST_F(LibreOfficeTest, EverySlideBecomesAPictureNamedByTheLanguage)
{
    struct Case { const char *file; int32_t lang; int slides; QString word; };
    for (const Case &c : {Case{"two.pptx", 1033, 2, "Slide"}, Case{"zh.fodp", 2052, 3, "幻灯片"}, Case{"zh.pptx", 2052, 3, "幻灯片"}}) {
        const QString src = sampleDir + "/" + c.file;
        const QByteArray before = digest(src);
        auto pp = backend().attachPowerPoint();
        if (!pp) {
            pp = backend().createPowerPoint();
            pp->SetVisible(msoTrue);
        }
        auto p = pp->PresentationsOpen(src);
        EXPECT_EQ(p->DefaultLanguageID(), c.lang);
        ASSERT_EQ(p->SlidesCount(), c.slides);
        p->SaveAs(work + "/htmB2.tmp", ppSaveAsJPG);
        p->Close();
        pp->Quit();
        EXPECT_EQ(backend().attachPowerPoint(), nullptr) << "the instance outlived Quit";
        for (int i = 1; i <= c.slides; ++i) {
            QImage img(work + "/htmB2/" + c.word + QString::number(i) + ".jpg");
            EXPECT_EQ(img.size(), QSize(1058, 595)) << c.file << " slide " << i;
        }
        EXPECT_EQ(QDir(work + "/htmB2").entryList(QDir::Files).size(), c.slides);
        QDir(work + "/htmB2").removeRecursively();
        EXPECT_EQ(digest(src), before);
    }
    EXPECT_EQ(leftovers(sampleDir), QStringList());
    EXPECT_EQ(leftovers(work), QStringList());
}

TEST_F(LibreOfficeTest, WorkbookIsWrittenAsOneFilePerSheet)
{
    const QString src = sampleDir + "/three.xlsx";
    const QByteArray before = digest(src);
    auto xl = backend().attachExcel();
    if (!xl)
        xl = backend().createExcel();
    auto book = xl->WorkbooksOpen(src);
    xl->SetDisplayAlerts(false);
    book->SaveAs(work + "/htmC3.tmp", xlHtml, xlNoChange);
    ASSERT_EQ(book->WorksheetsCount(), 3);
    EXPECT_EQ(book->WorksheetsName(1), "Alpha");
    book->Close();
    for (int i = 1; i <= 3; ++i) {
        const QString sheet = readText(work + QStringLiteral("/htmC3.files/sheet%1.htm").arg(i, 3, 10, QChar('0')));
        for (int j = 1; j <= 3; ++j)
            EXPECT_EQ(sheet.contains(QStringLiteral("Marker sheet %1").arg(j)), i == j) << i << " " << j;
        EXPECT_EQ(sheet.contains("<img", Qt::CaseInsensitive), i == 2);
    }
    const QString second = readText(work + "/htmC3.files/sheet002.htm");
    const qsizetype at = second.indexOf("src=\"htmC3.files/");
    ASSERT_GE(at, 0) << second.toStdString();
    const QString address = second.mid(at + 5, second.indexOf('"', at + 5) - at - 5);
    EXPECT_TRUE(QFile::exists(work + "/" + address)) << address.toStdString();
    EXPECT_EQ(digest(src), before);
    EXPECT_EQ(leftovers(sampleDir), QStringList());
    EXPECT_EQ(leftovers(work), QStringList());
}

// A child started by a test shares its parent's folders.
std::optional<QTemporaryDir> scratch;

const bool stepsSet = tx::test::setMainSteps({
    .before =
        [] {
            root = qEnvironmentVariable("TESSARIX_TEST_SCRATCH");
            if (root.isEmpty()) {
                scratch.emplace();
                root = scratch->path();
                qputenv("TESSARIX_TEST_SCRATCH", QFile::encodeName(root));
            }
            QDir().mkpath(root + "/samples");
            QDir().mkpath(root + "/temp/doc2html");
            sampleDir = root + "/samples";
            work = root + "/temp/doc2html";
            qputenv("TEMP", QFile::encodeName(root + "/temp"));
            // Instances of their own, never the user's.
            if (qEnvironmentVariableIsEmpty("TESSARIX_OFFICE_INSTANCE"))
                qputenv("TESSARIX_OFFICE_INSTANCE", "tessarix-test");
            qputenv("TESSARIX_OFFICE_RESTART_AFTER", QByteArray::number(kRestartAfter));
        },
    .instead = [](int argc, char **argv) -> std::optional<int> {
        if (argc == 3 && QByteArray(argv[1]) == "--exit-with-open-document")
            return exitWithOpenDocument(QString::fromLocal8Bit(argv[2]), Leaving::AtExit);
        if (argc == 3 && QByteArray(argv[1]) == "--killed-with-open-document")
            return exitWithOpenDocument(QString::fromLocal8Bit(argv[2]), Leaving::Killed);
        if (argc == 3 && QByteArray(argv[1]) == "--abandoned-with-open-document")
            return exitWithOpenDocument(QString::fromLocal8Bit(argv[2]), Leaving::Abandoning);
        if (argc == 3 && QByteArray(argv[1]) == "--import-after-background-start")
            return importAfterBackgroundStart(QString::fromLocal8Bit(argv[2]));
        if (argc == 2 && QByteArray(argv[1]) == "--start-in-background")
            return startInBackground();
        return std::nullopt;
    },
    .after = [] { backend().shutdown(); },
});

} // namespace
