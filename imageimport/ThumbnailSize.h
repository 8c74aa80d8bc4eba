#pragma once
// The numbers of a picture upload: 16-bit conversions with ties to even, the
// picture's pixel size from its HIMETRIC size, and the thumbnail size asked for.
#include <QSize>
#include <QString>

namespace tx::image {

// True when the text (spaces around it allowed) reads as a number.
bool isNumeric(const QString &text);

// The number a text holds, as a 16-bit integer: error 13 when it is no number,
// error 6 beyond -32768..32767.
int textToInt16(const QString &text);

// The nearest 16-bit integer, halves to even; error 6 out of range.
int toInt16(double value);

// Pixels from HIMETRIC: units / 26.46 (one pixel at 96 dpi), to a 16-bit integer.
int pixelsFromHimetric(qint64 himetric);

// W × H asked for by the scale mode's text (the entries of cmbScale). The size
// fields are read only by the modes that use them; a proportional mode with a zero
// picture side is error 11.
QSize thumbnailSize(const QString &scaleText, const QString &widthText, const QString &heightText,
                    int w0, int h0);

} // namespace tx::image
