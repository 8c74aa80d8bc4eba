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

void TagAttributes::set(const QString &key, const QString &value)
{
    const qsizetype i = find(key);
    if (i >= 0) {
        entries[i].second = value;
        return;
    }
    entries.emplace_back(key, value);
    if (entries.size() == kLinearLimit + 1) {
        for (qsizetype k = 0; k < entries.size(); ++k)
            index.insert(entries[k].first, k);
    } else if (entries.size() > kLinearLimit + 1) {
        index.insert(key, entries.size() - 1);
    }
}

void Tag::setTagName(const QString &newVal)
{
    pTagName = util::lowerUnits(newVal);
}

QString Tag::GetAttribute(const QString &strAtt) const
{
    return dicAtt.value(util::lowerUnits(strAtt));
}

void Tag::SetAttribute(const QString &attName, const QString &attValue)
{
    dicAtt.set(util::lowerUnits(attName), attValue);
}

} // namespace tx
