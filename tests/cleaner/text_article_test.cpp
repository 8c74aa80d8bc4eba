#include "util/PageSeparator.h"
#include "officeimport/TextArticle.h"
#include "core/CodePage.h"
#include "util/FileUtils.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kNotSet = QStringLiteral("尚未设置");

struct TextCase {
    const char *name;
    QString text, title, content; // content without the separator
};

class TextImport : public testing::TestWithParam<TextCase> {};

TEST_P(TextImport, GivesTitleAndContent)
{
    const TextCase &c = GetParam();
    const tx::TextArticle a = tx::textToArticle(c.text);
    EXPECT_EQ(a.title, c.title);
    EXPECT_EQ(a.content, c.content + tx::PAGE_SEPARATOR);
}

const QString k29 = QString(29, QLatin1Char('x'));
const QString k30 = QString(30, QLatin1Char('x'));

const TextCase kTexts[] = {
    {"ChineseLabels", "标题：Spring news\r\n作者：Li\r\n\r\nLine one\r\n\r\nLine  two", "Spring news",
     "Line&nbsp;one<br><br>Line&nbsp;&nbsp;two"},
    {"EnglishTitleLabel", "Title: Report\r\nx", "Report", ""},
    {"UpperCaseTitleLabel", "TITLE:Report", "Report", ""},
    {"ChineseTitleAsciiColon", "标题: A b \r\nLi", "A b", ""},
    {"EmptyTitleLabel", "标题：\r\nLi\r\nbody", kNotSet, "body"},
    {"EnglishAuthorLabel", "T\r\nAuthor: Somebody Long\r\nbody", "T", "body"},
    {"ShortFirstLineIsTitle", k29 + "\r\nLi\r\nb", k29, "b"},
    {"LongFirstLineStartsBody", k30 + "\r\nnext", kNotSet, k30 + "<br>next"},
    {"FourCharacterNameDropped", "T\r\nAbcd\r\nbody", "T", "body"},
    {"FiveCharacterLineStartsBody", "T\r\nAbcde\r\nbody", "T", "Abcde<br>body"},
    {"EmptyAndSpaceLinesBeforeBodySkipped", "\r\n   \r\nT\r\n\r\nLi\r\n \r\n  body", "T",
     "&nbsp;&nbsp;body"},
    {"TrailingLineEndGivesBreak", "T\r\nLi\r\nbody\r\n", "T", "body<br>"},
    {"TitleAndAuthorOnly", "T\r\nLi\r\n", "T", ""},
    {"EmptyText", "", kNotSet, ""},
    {"MarkupKept", "T\r\nLi\r\n<b>bold</b> text", "T", "<b>bold</b>&nbsp;text"},
    {"TabsStay", "\tT\r\nLi\r\nb", "\tT", "b"},
};

INSTANTIATE_TEST_SUITE_P(Cases, TextImport, testing::ValuesIn(kTexts),
                         [](const auto &info) { return std::string(info.param.name); });

// A text file read and imported: legacy code page and UTF-8 give the same article.
TEST(TextImport, FilesInBothEncodings)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString text = QStringLiteral("标题：春天\n作者：李\n第一行\n");
    const QList<QByteArray> encodings = {
        tx::codepage::encodeAs(text, QStringLiteral("936")),
        text.toUtf8(),
        QByteArray("\xEF\xBB\xBF") + text.toUtf8(),
    };
    for (const QByteArray &bytes : encodings) {
        const QString path = dir.filePath(QStringLiteral("a.txt"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        const tx::TextArticle a = tx::textToArticle(tx::util::ReadTextFile(path));
        EXPECT_EQ(a.title, QStringLiteral("春天"));
        EXPECT_EQ(a.content, QStringLiteral("第一行<br>") + tx::PAGE_SEPARATOR);
    }
    const tx::TextArticle missing = tx::textToArticle(tx::util::ReadTextFile(dir.filePath("none.txt")));
    EXPECT_EQ(missing.title, kNotSet);
    EXPECT_EQ(missing.content, tx::PAGE_SEPARATOR);
}

} // namespace
