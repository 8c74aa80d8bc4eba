#pragma once
// The capture's picture work: cutting the selection out of the frozen screen and
// saving it as a JPEG at quality 100.
#include <QImage>
#include <QRect>
#include <QString>

namespace tx::ModuleJPG {

// The part of `frozen` under `logical` (overlay pixels). On a screen whose pixel
// ratio is above 1 the result holds the region's physical pixels, unscaled.
// Parts outside the screen come out black.
QImage copyRegion(const QImage &frozen, const QRect &logical);

// Writes `bitmap` to `path` (no symbolic link followed); 0x80040203 with
// "保存图像发生了错误,错误号:" and the encoder's status number when it fails.
void SaveJpeg(const QImage &bitmap, const QString &path);

} // namespace tx::ModuleJPG
