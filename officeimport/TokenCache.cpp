#include "officeimport/TokenCache.h"

#include "util/Text.h"

namespace tx {

const TokenCache::Entry &TokenCache::find(QStringView token)
{
    size_t h = 2166136261u; // FNV-1a over the code units
    for (QChar c : token)
        h = (h ^ c.unicode()) * 16777619u;
    Entry &e = table[h % kSlots];
    if (e.raw.size() != token.size() || !std::equal(token.begin(), token.end(), e.raw.cbegin())) {
        e.raw = token.toString();
        e.lower = util::lowerUnits(token);
    }
    return e;
}

QString TokenCache::text(QStringView token)
{
    return token.size() > kMaxLength ? token.toString() : find(token).raw;
}

QString TokenCache::lower(QStringView token)
{
    return token.size() > kMaxLength ? util::lowerUnits(token) : find(token).lower;
}

} // namespace tx
