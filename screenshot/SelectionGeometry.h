#pragma once
// The selection frame's arithmetic on the overlay, apart from any widget: drawing
// in four quadrants, moving with clamping, the grip test and the label's place.
#include <QPointF>
#include <QSizeF>
#include <cstdint>

namespace tx::selection {

// The frame as the overlay keeps it, in (possibly fractional) logical pixels.
struct Frame {
    float left = 0, top = 0, width = 0, height = 0;
    bool operator==(const Frame &) const = default;
};

// A rectangle of whole pixels; Right and Bottom lie just outside it.
struct PixelRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const PixelRect &) const = default;
};

// Nearest integer, halves to even, as the rest of the component rounds.
int32_t nearest(double v);

// The frame in whole pixels: its left, top, width and height each rounded half
// away from zero. The one rectangle that is drawn (Shape1), captioned and saved,
// so the three never differ, also where a scaled screen gives fractional frames.
PixelRect pixelRect(const Frame &f);

// Left <= x < Right and Top <= y < Bottom, with x and y converted to the nearest
// integers first.
bool inside(const PixelRect &rc, float x, float y);

// The rectangle between the anchor and the pointer; `previous` when the pointer
// is level with the anchor on either axis.
Frame resized(const Frame &previous, float anchorX, float anchorY, float x, float y);

// The frame dragged so that the grip point follows the pointer, then clamped: left
// and top at least 0, far edges at most the screen's width and height.
Frame moved(const Frame &f, float startX, float startY, float grabX, float grabY, float x, float y,
            float screenWidth, float screenHeight);

// The top-left corner that centres a text of `textSize` on the frame.
QPointF labelPosition(const Frame &f, QSizeF textSize);

} // namespace tx::selection
