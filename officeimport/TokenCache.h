#pragma once
// Owned copies of the short tokens that recur in every tag of an office document
// (names such as "span", keys such as "class", values such as "MsoNormal"), so
// that scanning does not allocate a string for each of them.
#include <QString>
#include <QStringView>
#include <vector>

namespace tx {

class TokenCache {
public:
    // `token` as an owned string, shared with earlier equal tokens.
    QString text(QStringView token);
    // Its lower case, unit by unit.
    QString lower(QStringView token);

private:
    struct Entry {
        QString raw;
        QString lower;
    };
    // Direct-mapped: a token has one slot, and a different token that maps there
    // replaces it. Small and bounded whatever the input.
    static constexpr qsizetype kMaxLength = 24;
    static constexpr size_t kSlots = 1024;

    const Entry &find(QStringView token);

    std::vector<Entry> table = std::vector<Entry>(kSlots);
};

} // namespace tx
