// The scripted office: what it records and the files it writes.
#include "PageByPage.h"
#include "office/FakeOffice.h"
#include "office/OfficeConstants.h"
#include "office/libreoffice/PageSplit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tx::office;

namespace {

class FakeOfficeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake.reset();
        setBackend(&fake);
        work = dir.path();
    }
    void TearDown() override { setBackend(nullptr); }

    QString read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<missing>");
    }

    FakeOffice fake;
    QTemporaryDir dir;
    QString work;
};

TEST_F(FakeOfficeTest, AttachOnlyToRunningApplicationsAndCreateFailsWithout)
{
    EXPECT_EQ(&backend(), &fake);
    EXPECT_EQ(backend().attachWord(), nullptr);
    EXPECT_NE(backend().createWord(), nullptr);
    EXPECT_NE(backend().attachWord(), nullptr); // the started one stays
    EXPECT_EQ(backend().attachExcel(), nullptr);

    fake.setInstalled(false);
    try {
        backend().createPowerPoint();
        FAIL() << "created without an office";
    } catch (const tx::AutomationError &e) {
        EXPECT_EQ(e.number, tx::ErrCantCreateObject);
        EXPECT_TRUE(e.description.contains(QLatin1String("soffice")));
    }
    EXPECT_EQ(fake.callStrings(), (QStringList{"Word.Create()", "Word.Attach()"}));
}

TEST_F(FakeOfficeTest, WordPagingCutsPagesFromTheLastAndRecordsEveryCall)
{
    const QString src = work + "/a.docx";
    fake.addWordDocument(src, {{{"<p>one</p>", {}},
                                {"<p>two<img src=\"{files}/p.png\"></p>", {{"p.png", "PNG"}}},
                                {"<p>three</p>", {}}}});
    auto word = backend().createWord();
    const QString html = work + "/htm1.tmp";
    QString pictureOfPage2;
    const Paged paged = pageByPage(*word, src, html, [&](int page) {
        if (page == 2)
            pictureOfPage2 = read(work + "/htm1.files/p.png");
    });
    ASSERT_EQ(paged.count, 3);
    const QStringList pages = QStringList{QString()} + paged.html; // 1-based
    EXPECT_TRUE(pages[1].contains("<p>one</p>") && !pages[1].contains("two"));
    EXPECT_TRUE(pages[2].contains("<p>two<img src=\"htm1.files/p.png\"></p>") && !pages[2].contains("three"));
    EXPECT_TRUE(pages[3].contains("<p>three</p>"));
    EXPECT_EQ(pictureOfPage2, "PNG");
    EXPECT_FALSE(QFile::exists(work + "/htm1.files/p.png")); // page 1's save rewrote the folder

    const QStringList calls = fake.callStrings();
    EXPECT_EQ(calls.mid(0, 6), (QStringList{"Word.Create()", "Word.DisplayAlerts(0)",
                                            "Word.Documents.Open(" + src + ")", "Word.ActiveWindow.View.Type(3)",
                                            "Document 1.Repaginate()", "Document 1.BuiltInDocumentProperties(14)"}));
    EXPECT_EQ(calls.mid(6, 13),
              (QStringList{"Word.Documents.Add()", "Document 2.Windows.Selection(1)",
                           "Selection 1.GoTo(1, missing, 1, missing)", "Selection 1.EndKey(6, 1)",
                           "Document 1.Windows.Selection(1)", "Selection 2.GoTo(1, missing, 3, missing)",
                           "Selection 2.EndKey(6, 1)", "Selection 2.Copy()", "Selection 1.Paste()",
                           "Selection 2.Delete(missing, missing)", "Document 2.SaveAs(" + html + ", 8)",
                           "Document 2.Close(missing, missing, missing)", "Word.Documents.Add()"}));
    EXPECT_EQ(calls.last(), "Document 1.Close(false, missing, false)");
}

TEST_F(FakeOfficeTest, SlidePicturesAreNamedByTheDefaultLanguage)
{
    struct Case { int32_t lang; int slides; QString word; };
    for (const Case &c : {Case{2052, 2, QStringLiteral("幻灯片")}, Case{1033, 10, QStringLiteral("Slide")}}) {
        fake.reset();
        const QString src = work + "/talk.pptx";
        fake.addPresentation(src, {c.lang, c.slides});
        auto pp = backend().createPowerPoint();
        auto p = pp->PresentationsOpen(src);
        EXPECT_EQ(p->DefaultLanguageID(), c.lang);
        EXPECT_EQ(p->SlidesCount(), c.slides);
        p->SaveAs(work + "/htm2.tmp", ppSaveAsJPG);
        p->Close();
        pp->Quit();
        EXPECT_FALSE(fake.running(FakeApp::PowerPoint));
        const QStringList files = QDir(work + "/htm2").entryList(QDir::Files, QDir::Name);
        EXPECT_EQ(files.size(), c.slides);
        EXPECT_TRUE(files.contains(c.word + QString::number(c.slides) + ".jpg")) << files.join(' ').toStdString();
        QDir(work + "/htm2").removeRecursively();
    }
}

TEST_F(FakeOfficeTest, WorkbooksOfSeveralSheetsAreWrittenAsSheetFiles)
{
    struct Case { int sheets; QStringList expected; };
    for (const Case &c : {Case{1, {}}, Case{3, {"sheet001.htm", "sheet003.htm"}}, Case{12, {"sheet012.htm"}}}) {
        fake.reset();
        FakeWorkbook wb;
        for (int i = 1; i <= c.sheets; ++i)
            wb.sheets.append({QStringLiteral("S%1").arg(i), {QStringLiteral("<table><tr><td>%1<img src=\"{files}/i%1.png\"></td></tr></table>").arg(i), {{QStringLiteral("i%1.png").arg(i), "X"}}}});
        const QString src = work + "/book.xlsx";
        fake.addWorkbook(src, wb);
        auto xl = backend().createExcel();
        auto book = xl->WorkbooksOpen(src);
        xl->SetDisplayAlerts(false);
        book->SaveAs(work + "/htm3.tmp", xlHtml, xlNoChange);
        EXPECT_EQ(book->WorksheetsCount(), c.sheets);
        EXPECT_EQ(book->WorksheetsName(1), "S1");
        book->Close();
        for (const QString &f : c.expected)
            EXPECT_TRUE(QFile::exists(work + "/htm3.files/" + f)) << f.toStdString();
        if (c.sheets == 1)
            EXPECT_TRUE(read(work + "/htm3.tmp").contains("<img src=\"htm3.files/i1.png\">"));
        else
            EXPECT_TRUE(read(work + "/htm3.files/sheet002.htm").contains("src=\"htm3.files/i2.png\""));
        EXPECT_EQ(fake.calls()[3].args, (QVariantList{work + "/htm3.tmp", xlHtml, xlNoChange}));
        QDir(work + "/htm3.files").removeRecursively();
    }
}

TEST_F(FakeOfficeTest, ScriptedFailuresAndUnknownDocumentsThrowAfterRecording)
{
    auto word = backend().createWord();
    fake.failOn("Documents.Open", tx::AutomationError(tx::ErrAutomation, "Word", "broken"));
    EXPECT_THROW(word->DocumentsOpen(work + "/x.doc"), tx::AutomationError);
    // The failure is used up; the next open fails only because nothing is scripted.
    try {
        word->DocumentsOpen(work + "/x.doc");
        FAIL();
    } catch (const tx::AutomationError &e) {
        EXPECT_EQ(e.number, tx::ErrAutomation);
    }
    EXPECT_EQ(fake.calls().size(), 3);
}

} // namespace

// Hostile and odd exports: pages as cut, or nothing (the caller copies pages then).
TEST(PageSplit, CutsAtTheMarksOrNotAtAll)
{
    using tx::office::lo::pageMark;
    const QByteArray m2 = pageMark(2), m3 = pageMark(3);
    struct Row {
        const char *name;
        QByteArray body;
        int pages;
        QList<QByteArray> want; // empty: not cut
    };
    const Row rows[] = {
        {"list items without end tags", "<ul><li><p>one</p><li><p>t" + m2 + "wo</p></ul>", 2,
         {"<ul><li><p>one</p><li><p>t</p></li></ul>", "<ul><li><p>wo</p></ul>"}},
        {"terms without end tags", "<dl><dt>a<dd>b<dt>c" + m2 + "d</dl>", 2, {"<dl><dt>a<dd>b<dt>c</dt></dl>", "<dl><dt>d</dl>"}},
        {"nested tables", "<table><tr><td><table><tr><td>a" + m2 + "b</td></tr></table></td><td>c</td></tr></table>", 2,
         {"<table><tr><td><table><tr><td>a</td></tr></table></td></tr></table>",
          "<table><tr><td><table><tr><td>b</td></tr></table></td><td>c</td></tr></table>"}},
        {"a quoted > in an attribute", "<p class=\"x>y\">a" + m2 + "b</p>", 2, {"<p class=\"x>y\">a</p>", "<p class=\"x>y\">b</p>"}},
        {"a mark in an attribute", "<p title=\"" + m2 + "\">a</p><p>" + m2 + "b</p>", 2, {}},
        {"a mark in a comment", "<!-- " + m2 + " --><p>a</p>", 2, {}},
        {"a mark in a script", "<script>" + m2 + "</script><p>a</p>", 2, {}},
        {"an unterminated quote", "<p class=\"x>a" + m2 + "b</p>", 2, {}},
        {"marks out of order", "<p>a" + m3 + "b" + m2 + "c</p>", 3, {}},
        {"a mark cut short", QByteArray("<p>a\xEE\x80\x80") + "2</p>", 2, {}},
        {"a mark at the top level", "a" + m2 + "b", 2, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto split = tx::office::lo::splitAtPageMarks("<html><head></head><body>" + row.body + "</body></html>", row.pages);
        if (row.want.isEmpty()) {
            EXPECT_FALSE(split.has_value());
            continue;
        }
        ASSERT_TRUE(split.has_value());
        EXPECT_EQ(split->pages, row.want);
    }
}
