#pragma once
// Pictures made at test time and a ready control for the image import tests.
#include <QSize>
#include <QString>
#include <QTemporaryDir>

namespace tx::test {

// Writes a picture of `size` pixels at dir/name (the kind from the name's suffix;
// ".gif" is written as PNG, which the loader reads by content).
QString makePicture(const QTemporaryDir &dir, const QString &name, QSize size = QSize(800, 600));

// Writes a file that is no picture.
QString makeJunk(const QTemporaryDir &dir, const QString &name);

// A port on the loopback address where nobody listens.
quint16 closedPort();

} // namespace tx::test
