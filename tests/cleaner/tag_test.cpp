#include "officeimport/Tag.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

QStringList keys(const tx::Tag &t)
{
    QStringList k;
    for (const auto &item : t.dicAtt.items())
        k << item.first;
    return k;
}

TEST(Tag, NamesAndKeysAreLowerCaseValuesKeepCase)
{
    tx::Tag t;
    t.setTagName(QStringLiteral("V:ImageData"));
    EXPECT_EQ(t.TagName(), QStringLiteral("v:imagedata"));
    t.SetAttribute(QStringLiteral("SRC"), QStringLiteral("A.PNG"));
    EXPECT_EQ(t.GetAttribute(QStringLiteral("src")), QStringLiteral("A.PNG"));
    EXPECT_EQ(t.GetAttribute(QStringLiteral("missing")), QString());
    // Lowered unit by unit, as the scanner's positions need: never longer.
    t.setTagName(QStringLiteral("T\u0130TLE"));
    EXPECT_EQ(t.TagName().size(), 5);
    EXPECT_TRUE(t.TagName().startsWith(QStringLiteral("t")) && t.TagName().endsWith(QStringLiteral("tle")));
}

// Order of first insertion, replacement in place, across the switch from a
// linear search to an index.
TEST(Tag, AttributesKeepFirstPlace)
{
    for (int count : {3, 8, 9, 40}) {
        tx::Tag t;
        QStringList expected;
        for (int i = 0; i < count; ++i) {
            t.SetAttribute(QStringLiteral("K%1").arg(i), QString::number(i));
            expected << QStringLiteral("k%1").arg(i);
        }
        t.SetAttribute(QStringLiteral("k0"), QStringLiteral("last"));
        t.SetAttribute(QStringLiteral("K%1").arg(count - 1), QStringLiteral("end"));
        EXPECT_EQ(keys(t), expected) << count;
        EXPECT_EQ(t.GetAttribute(QStringLiteral("k0")), QStringLiteral("last")) << count;
        EXPECT_EQ(t.GetAttribute(QStringLiteral("k%1").arg(count - 1)), QStringLiteral("end")) << count;
        EXPECT_EQ(t.GetAttribute(QStringLiteral("k1")), count > 2 ? QStringLiteral("1") : QString()) << count;
    }
}

} // namespace
