#include "core/CodePage.h"

#include <gtest/gtest.h>

using namespace tx;

TEST(CodePage, DefaultIsGbkWithOwnReplacementRules)
{
    ASSERT_EQ(codepage::name(), QStringLiteral("CP936"));
    // 中 is D6 D0 in GBK; the emoji and the Thai letter have no GBK form: one "?" each.
    EXPECT_EQ(codepage::encode(QStringLiteral("a中")), QByteArray("a\xD6\xD0"));
    EXPECT_EQ(codepage::encode(QString::fromUtf8("x\xF0\x9F\x98\x80y\xE0\xB8\x81")), QByteArray("x?y?"));
    // A lone surrogate is one character that cannot be held.
    EXPECT_EQ(codepage::encode(QString(QChar(0xD800)) + QLatin1Char('z')), QByteArray("?z"));

    EXPECT_EQ(codepage::decode(QByteArray("a\xD6\xD0")), QStringLiteral("a中"));
    // An invalid byte and a lead byte cut off at the end each become U+FFFD.
    EXPECT_EQ(codepage::decode(QByteArray("a\xFF" "b")), QStringLiteral("a\uFFFDb"));
    EXPECT_EQ(codepage::decode(QByteArray("b\xD6")), QStringLiteral("b\uFFFD"));
}

TEST(CodePage, SelectableByNumberOrName)
{
    EXPECT_FALSE(codepage::select(QStringLiteral("no-such-charset")));
    ASSERT_TRUE(codepage::select(QStringLiteral("65001")));
    EXPECT_EQ(codepage::encode(QStringLiteral("中")), QByteArray("\xE4\xB8\xAD"));
    EXPECT_EQ(codepage::decode(QByteArray("\xE4\xB8")), QStringLiteral("\uFFFD\uFFFD"));
    ASSERT_TRUE(codepage::select(QStringLiteral("936")));
    EXPECT_EQ(codepage::name(), QStringLiteral("CP936"));
}
