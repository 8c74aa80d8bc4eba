#include "screenshot/SelectionGeometry.h"

#include <cmath>

namespace tx::selection {

int32_t nearest(double v)
{
    return int32_t(std::nearbyint(v)); // the default rounding mode: halves to even
}

PixelRect pixelRect(const Frame &f)
{
    const auto whole = [](float v) { return int32_t(std::lround(v)); };
    const int32_t left = whole(f.left), top = whole(f.top);
    return {left, top, left + whole(f.width), top + whole(f.height)};
}

bool inside(const PixelRect &rc, float x, float y)
{
    const int32_t px = nearest(x), py = nearest(y);
    return rc.Left <= px && px < rc.Right && rc.Top <= py && py < rc.Bottom;
}

Frame resized(const Frame &previous, float anchorX, float anchorY, float x, float y)
{
    if (x == anchorX || y == anchorY)
        return previous;
    Frame f;
    f.left = x > anchorX ? anchorX : x;
    f.top = y > anchorY ? anchorY : y;
    f.width = std::fabs(x - anchorX);
    f.height = std::fabs(y - anchorY);
    return f;
}

Frame moved(const Frame &f, float startX, float startY, float grabX, float grabY, float x, float y,
            float screenWidth, float screenHeight)
{
    Frame m = f;
    m.left = startX - (grabX - x);
    m.top = startY - (grabY - y);
    if (m.left < 0)
        m.left = 0;
    if (m.top < 0)
        m.top = 0;
    if (m.left + m.width > screenWidth)
        m.left = screenWidth - m.width;
    if (m.top + m.height > screenHeight)
        m.top = screenHeight - m.height;
    return m;
}

QPointF labelPosition(const Frame &f, QSizeF textSize)
{
    return {f.left + f.width / 2.0 - textSize.width() / 2.0, f.top + f.height / 2.0 - textSize.height() / 2.0};
}

} // namespace tx::selection
