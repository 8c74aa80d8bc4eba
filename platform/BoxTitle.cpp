#include "platform/BoxTitle.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>

#include <algorithm>

namespace tx::ui {

void fitTitle(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    // The title bar's font is the window manager's; the application's bold face
    // a little wider is a fair guess, plus room for its icon and three buttons.
    QFont font = QApplication::font();
    font.setBold(true);
    int width = QFontMetrics(font).horizontalAdvance(box.windowTitle()) * 11 / 10 + 160;
    if (const QScreen *screen = box.screen())
        width = std::min(width, screen->availableGeometry().width() * 9 / 10);
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

} // namespace tx::ui
