#pragma once
// The records of boxes, dialogs and overlay openings. An interactive host runs for
// as long as its user likes, so each kind keeps only its latest entries.
#include <QList>
#include <utility>

namespace tx {

inline constexpr qsizetype kKeptRecords = 1000;

// Appends `entry`, dropping the oldest entries beyond kKeptRecords.
template <class T>
void keepLatest(QList<T> &list, T entry)
{
    list.append(std::move(entry));
    if (list.size() > kKeptRecords)
        list.remove(0, list.size() - kKeptRecords);
}

} // namespace tx
