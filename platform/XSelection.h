#pragma once
// The X server's CLIPBOARD selection, read as any X client reads it. In a Wayland
// session the compositor mirrors the clipboard into Xwayland's selection, which an
// X client may read without a focused window; Qt's Wayland clipboard may not.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace tx::clipboard::xselection {

// The formats of `wanted` that the selection's owner offers, each with its data,
// in the order of `wanted`. Empty without an X server at `display` (empty: the
// session's DISPLAY), without an owner, or when the owner does not answer within
// `ms` milliseconds; the wait pumps events.
QList<QPair<QString, QByteArray>> read(const QStringList &wanted, int ms, const QByteArray &display = {});

} // namespace tx::clipboard::xselection
