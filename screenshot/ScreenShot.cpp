#include "screenshot/ScreenShot.h"

namespace tx {

ScreenShot::ScreenShot(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ScreenShot"));
}

} // namespace tx
