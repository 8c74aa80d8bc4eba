#include "screenshot/ModuleJPG.h"

#include "core/AutomationError.h"
#include "platform/Jpeg.h"

#include <cmath>

namespace tx::ModuleJPG {

QImage copyRegion(const QImage &frozen, const QRect &logical)
{
    const qreal ratio = frozen.devicePixelRatio();
    const auto px = [ratio](int v) { return int(std::lround(v * ratio)); };
    const int left = px(logical.left()), top = px(logical.top());
    const QRect physical(left, top, px(logical.left() + logical.width()) - left,
                         px(logical.top() + logical.height()) - top);
    QImage region = frozen.copy(physical);
    region.setDevicePixelRatio(1.0);
    return region;
}

void SaveJpeg(const QImage &bitmap, const QString &path)
{
    const int status = jpeg::write(bitmap, path, 100);
    if (status != jpeg::Ok)
        throw AutomationError(kErrJpegSave, QStringLiteral("Tessarix5"),
                              QStringLiteral("保存图像发生了错误,错误号:") + QString::number(status));
}

} // namespace tx::ModuleJPG
