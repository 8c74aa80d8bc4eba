#include "officeimport/Tag.h"

#include "util/Text.h"

namespace tx {
namespace {
constexpr qsizetype kLinearLimit = 8;
}

qsizetype TagAttributes::find(const QString &key) const
{
    if (entries.size() <= kLinearLimit) {
        for (qsizetype i = 0; i < entries.size(); ++i)
            if (entries[i].first == key)
                return i;
        return -1;
    }
    return index.value(key, -1);
}

QString TagAttributes::value(const QString &key) const
{
    const qsizetype i = find(key);
    return i < 0 ? QString() : entries[i].second;
}

void TagAttributes::set(QString key, QString value)
{
    const qsizetype i = find(key);
    if (i >= 0) {
        entries[i].second = std::move(value);
        return;
    }
    if (entries.isEmpty())
        entries.reserve(4);
    entries.emplace_back(std::move(key), std::move(value));
    if (entries.size() == kLinearLimit + 1) {
        for (qsizetype k = 0; k < entries.size(); ++k)
            index.insert(entries[k].first, k);
    } else if (entries.size() > kLinearLimit + 1) {
        index.insert(entries.back().first, entries.size() - 1);
    }
}

void Tag::setTagName(QStringView newVal)
{
    pTagName = util::lowerUnits(newVal);
}

QString Tag::GetAttribute(QStringView strAtt) const
{
    return dicAtt.value(util::lowerUnits(strAtt));
}

void Tag::SetAttribute(QStringView attName, QString attValue)
{
    dicAtt.set(util::lowerUnits(attName), std::move(attValue));
}

} // namespace tx
