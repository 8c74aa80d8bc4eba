#pragma once
// A question box that does not hold up its caller: a service keeps serving while
// the user makes up their mind.
#include <QString>
#include <QStringList>
#include <functional>

namespace tx::ui {

// Shows `text` with one button per label (`defaultButton` is the default) and
// calls `answered` once with the chosen button's index, or with `fallback` when
// the box is closed otherwise or nobody answers within `timeoutMs`.
void askLater(const QString &title, const QString &text, const QStringList &buttons, int defaultButton, int fallback,
              int timeoutMs, std::function<void(int)> answered);

} // namespace tx::ui
