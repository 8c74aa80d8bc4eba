#include "officeimport/HtmlCleaner.h"
#include "core/AutomationError.h"
#include "core/Pump.h"

#include <QElapsedTimer>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

struct Upload {
    QString sf, localFile;
    int contentId;
};

struct Cleaned {
    QString body, title;
    QList<Upload> uploads;
};

// Answers every picture with "/srv/" and a counter, and records what was sent.
Cleaned clean(const QString &html, const QString &title = QString())
{
    Cleaned result;
    tx::HtmlCleaner cleaner;
    cleaner.setPump([] {});
    cleaner.setPictureUpload([&result](const QString &sf, const QString &local, int id) {
        result.uploads.push_back({sf, local, id});
        return QStringLiteral("/srv/%1").arg(result.uploads.size());
    });
    cleaner.strSourceHtml = html;
    cleaner.strTitle = title;
    cleaner.strPicFolder = QStringLiteral("/pics/");
    cleaner.strCurPath = QStringLiteral("/up");
    cleaner.lngContentId = -1;
    cleaner.CleanHtml();
    result.body = cleaner.strCleanBody;
    result.title = cleaner.strTitle;
    return result;
}

QString titled(const QString &body)
{
    return QStringLiteral("<html><head><title>T</title></head><body>") + body
        + QStringLiteral("</body></html>");
}

struct BodyCase {
    const char *name;
    QString html;
    QString body;
    QStringList uploads; // local files, in order
};

class CleanBody : public testing::TestWithParam<BodyCase> {};

TEST_P(CleanBody, GivesBodyAndUploads)
{
    const BodyCase &c = GetParam();
    const Cleaned r = clean(c.html);
    EXPECT_EQ(r.body, c.body);
    QStringList locals;
    for (const Upload &u : r.uploads) {
        locals << u.localFile;
        EXPECT_EQ(u.sf, QStringLiteral("/up"));
        EXPECT_EQ(u.contentId, -1);
    }
    EXPECT_EQ(locals, c.uploads);
}

const BodyCase kBodies[] = {
    {"SpacesNextToTagsLost", titled("a <b>b</b> c"), "a<b>b</b>c", {}},
    {"LineBreakRunKept", titled("<p>x</p>\r\n<p>y</p>"), "<p>x</p>\r\n<p>y</p>", {}},
    {"OfficeAttributesDropped",
     titled("<P class=MsoNormal style='margin:0'>x<span lang=EN-US>y</span></P>"),
     "<p>x<span>y</span></p>", {}},
    {"OfficeElementsDropped", titled("<p>a<o:p></o:p></p><o:p>&nbsp;</o:p>"), "<p>a</p>&nbsp;", {}},
    {"ImageDataKeptAndUploaded",
     titled("<v:shape><v:imagedata src=\"x.files/image001.png\" o:title=\"\"></v:shape>"),
     "<v:imagedata src=\"/srv/1\">", {"/pics/x.files/image001.png"}},
    {"BareAttributeGetsEmptyValue", titled("<td nowrap>x</td>"), "<td nowrap=\"\">x</td>", {}},
    {"RepeatedAttributeKeepsFirstPlaceLastValue", titled("<p align=left id=x align=right>"),
     "<p align=\"right\" id=\"x\">", {}},
    {"UpperCaseImage", titled("<IMG SRC=\"x.files/image001.gif\" width=10>"),
     "<img src=\"/srv/1\" width=\"10\">", {"/pics/x.files/image001.gif"}},
    {"DotSlashRemovedAnywhere", titled("<img src=\"./pic/a.jpg\"><img src=\"../a.jpg\">"),
     "<img src=\"/srv/1\"><img src=\"/srv/2\">", {"/pics/pic/a.jpg", "/pics/.a.jpg"}},
    {"WebAddressesStayAndUploadNothing",
     titled("<img src=\"http://a/b.png\"><img src=\"HTTPS://a/c.png\"><img src=\"data:image/png;base64,AA\">"),
     "<img src=\"http://a/b.png\"><img src=\"HTTPS://a/c.png\"><img src=\"data:image/png;base64,AA\">", {}},
    {"PathCleanedInsideFolder", titled("<img src=\"a//b.png\">"), "<img src=\"/srv/1\">", {"/pics/a/b.png"}},
    {"SrcOnOtherElementsUntouched", titled("<script src=\"a.js\"></script>"),
     "<script src=\"a.js\"></script>", {}},
    {"ConditionalMarkersVanishNumberStays",
     titled("<p><![if !supportLists]>1.<![endif]>Item</p>"), "<p>1.Item</p>", {}},
    {"VmlCommentVanishesWhole",
     titled("<p><!--[if gte vml 1]><v:shape><v:imagedata src=\"a.png\"></v:shape><![endif]-->x</p>"),
     "<p>x</p>", {}},
    {"QuotedValueHoldsSpacesAndAngles", titled("<a title=\"x > y < z\" href='p q'>t</a>"),
     "<a title=\"x > y < z\" href=\"p q\">t</a>", {}},
    {"DoubleQuoteInValueEscaped", titled("<p title='a\"b'><p title='\"x\"'>"),
     "<p title=\"a&quot;b\"><p title=\"x&quot;\">", {}},
    {"HeadElementsSkippedWithContent",
     "<html><head><style>p{}</style><script>if(a<b)x=\"<p>\"</script><title>T</title></head>"
     "<body>x</body>",
     "x", {}},
    {"SkippedNamesAreOrdinaryInBody", titled("<select><option>a</option></select>"),
     "<select><option>a</option></select>", {}},
    {"UnfinishedTagInBodyKeepsTextUntrimmed", "<title>T</title><body>abc <p", "abc ", {}},
    {"TextAfterBodyDiscarded", titled("<p>x</p>") + "tail<p>y</p>", "<p>x</p>", {}},
    {"CommentWithoutEndTakesTheRest", titled("a<!-- b <p>c"), "a", {}},
    {"DottedIInSourceKeepsPositions",
     "<head>\u0130\u0130<style>p{}</style><title>T</title></head><body>x<p>\u0130</p></body>",
     "x<p>\u0130</p>", {}},
    {"UnfinishedEndTagOfSkippedElementEnds", "<head><style>a</stylex y", "", {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, CleanBody, testing::ValuesIn(kBodies),
                         [](const auto &info) { return std::string(info.param.name); });

struct TitleCase {
    const char *name;
    QString preset, html, title, body;
};

class CleanTitle : public testing::TestWithParam<TitleCase> {};

TEST_P(CleanTitle, PicksTitle)
{
    const TitleCase &c = GetParam();
    const Cleaned r = clean(c.html, c.preset);
    EXPECT_EQ(r.title, c.title);
    EXPECT_EQ(r.body, c.body);
}

const TitleCase kTitles[] = {
    {"FirstBodyTextWithoutTitleElement", "", "<body>Report<p>x</p></body>", "Report", "<p>x</p>"},
    {"EmptyTitleElementKeepsBodyText", "", "<head><title></title></head><body>Report<p>x</p></body>",
     "", "Report<p>x</p>"},
    {"LineBreakAfterBodyBecomesTitle", "", "<body>\r\n<p>x</p></body>", "\r\n", "<p>x</p>"},
    {"TitleElementAppendsToPreset", "P", "<title> A </title><body>b</body>", "PA", "b"},
    {"TagsInsideTitleBecomeText", "", "<title>A <b>B</b></title><body>c</body>", "A <b>B</b>", "c"},
    {"BodyTextReplacesPreset", "P", "<body>x<p>y</p></body>", "x", "<p>y</p>"},
    {"EmptySourceKeepsPreset", "P", "", "P", ""},
    {"NoBodyKeepsPreset", "P", "<html><p>x</p></html>", "P", ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, CleanTitle, testing::ValuesIn(kTitles),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(CleanHtml, HeadElementWithoutEndTagFailsNamingIt)
{
    try {
        clean("<html><head><style>p{}</head><body>x</body>");
        FAIL() << "no error";
    } catch (const tx::AutomationError &e) {
        EXPECT_EQ(e.number, tx::ErrInvalidCall);
        EXPECT_TRUE(e.description.contains(QStringLiteral("\"style\""))) << e.description.toStdString();
    }
}

TEST(CleanHtml, FailedUploadEndsTheClean)
{
    tx::HtmlCleaner cleaner;
    cleaner.setPump([] {});
    cleaner.setPictureUpload([](const QString &, const QString &local, int) -> QString {
        throw tx::runtimeError(tx::ErrFileNotFound, local);
    });
    cleaner.strSourceHtml = titled("<img src=missing.png>");
    cleaner.strPicFolder = QStringLiteral("/pics/");
    try {
        cleaner.CleanHtml();
        FAIL() << "no error";
    } catch (const tx::AutomationError &e) {
        EXPECT_EQ(e.number, tx::ErrFileNotFound);
        EXPECT_TRUE(e.description.contains(QStringLiteral("/pics/missing.png")));
    }
}

// A picture outside the picture folder is refused, naming the source as read.
TEST(CleanHtml, PictureOutsideItsFolderIsRefused)
{
    const auto img = [](const QString &src) { return std::pair("<img src=\"" + src + "\">", src); };
    const std::pair<QString, QString> cases[] = {
        img("...//...//etc/passwd"), img("file:///etc/passwd"), img("C:\\x.png"), img("sub/...//...//x.png"),
        // An unquoted source running into a quote: the quoted run after it is the
        // value, here the next attribute's name, which reads as a scheme.
        {"<v:imagedata src=#x.files/image001.png\" o:title=\"\"/ \">", "o:title="},
    };
    for (const auto &[tag, src] : cases) {
        try {
            const Cleaned c = clean(titled(tag));
            ADD_FAILURE() << "uploaded " << c.uploads.value(0).localFile.toStdString();
        } catch (const tx::AutomationError &e) {
            EXPECT_EQ(e.number, tx::ErrPermissionDenied) << src.toStdString();
            EXPECT_TRUE(e.description.endsWith(src)) << e.description.toStdString();
        }
    }
}

// Shapes that a scanner searching too far, or rebuilding the title run for every
// tag, takes quadratic time on. Linear, each is a few milliseconds; quadratic,
// minutes, still far beyond the budget when a sanitizer slows every step.
TEST(CleanHtml, StaysLinearOnPathologicalInput)
{
#if defined(__SANITIZE_ADDRESS__)
    const int budgetMs = 30000;
#else
    const int budgetMs = 5000;
#endif
    const int n = 200000;
    QString manyAttributes = QStringLiteral("<title>T</title><body><p ");
    for (int i = 0; i < n; ++i)
        manyAttributes += QStringLiteral("a%1 ").arg(i);
    manyAttributes += QLatin1Char('>');
    const QString shapes[] = {
        QStringLiteral("<title>") + QStringLiteral("<b>x").repeated(n),
        QStringLiteral("<title>T</title><body>") + QStringLiteral("<p a b c>").repeated(n),
        manyAttributes,
        QStringLiteral("<title>T</title><body>") + QStringLiteral("<").repeated(n),
    };
    for (const QString &html : shapes) {
        QElapsedTimer timer;
        timer.start();
        clean(html);
        EXPECT_LT(timer.elapsed(), budgetMs) << html.left(40).toStdString();
    }
}

TEST(CleanHtml, PumpsAtMostEveryInterval)
{
    tx::HtmlCleaner cleaner;
    int pumps = 0;
    cleaner.setPump([&pumps] { ++pumps; });
    // Each upload waits a little longer than the interval, in the event loop.
    cleaner.setPictureUpload([](const QString &, const QString &, int) {
        tx::pump::forMs(tx::HtmlCleaner::kPumpIntervalMs + 10);
        return QStringLiteral("u");
    });
    cleaner.strSourceHtml = titled(QStringLiteral("<img src=a.png><br>").repeated(3)
                                   + QStringLiteral("<br>").repeated(1000));
    cleaner.CleanHtml();
    EXPECT_GE(pumps, 3);
    EXPECT_LE(pumps, 4);
}

TEST(NextTag, LeavesPositionAtTagStart)
{
    tx::HtmlCleaner cleaner;
    cleaner.strSourceHtml = QStringLiteral("ab <P Class=x>c");
    cleaner.lngScanPos = 1;
    const tx::Tag t = cleaner.NextTag();
    EXPECT_EQ(cleaner.lngScanPos, 4);
    EXPECT_EQ(t.TagName(), QStringLiteral("p"));
    EXPECT_EQ(t.SourceHTML, QStringLiteral("<P Class=x>"));
    EXPECT_EQ(t.GetAttribute(QStringLiteral("CLASS")), QStringLiteral("x"));

    cleaner.lngScanPos = 5;
    EXPECT_TRUE(cleaner.NextTag().SourceHTML.isEmpty());
    EXPECT_EQ(cleaner.lngScanPos, 5);
}

} // namespace
