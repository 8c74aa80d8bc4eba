#pragma once
// The simplified-Chinese face the forms write in and the server's watermarks are
// drawn with. Qt Gui only, so the server can use it without the desktop.
#include <QFont>
#include <QString>

namespace tx::ui {

// SimSun when installed, else a Song or Ming face, else any that writes simplified
// Chinese, else WenQuanYi Zen Hei loaded from its Debian file. Looked up once; safe
// from any thread.
QString cjkFamily();
QFont cjkFont(int pointSize);

} // namespace tx::ui
