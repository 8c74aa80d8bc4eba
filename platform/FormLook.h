#pragma once
// How the controls' forms write: their sizes are laid out in twips for a 9-point
// simplified-Chinese face, so they get one, whatever the desktop's default font.
#include <QFont>
#include <QString>

class QWidget;

namespace tx::ui {

inline constexpr int kFormPointSize = 9;

// The simplified-Chinese face: SimSun when installed, else a Song or Ming face,
// else any that writes simplified Chinese, else WenQuanYi Zen Hei loaded from its
// Debian file. Looked up once; safe from any thread.
QString cjkFamily();
QFont cjkFont(int pointSize);

// Gives a control's form (and every child in it) the 9-point face, and its buttons,
// check boxes and options the sizes the form was laid out for; then gives what the
// face would cut off or draw over (a drop-down list's items, options running into
// each other, a frame's title) the room it needs.
void applyFormLook(QWidget *form);

} // namespace tx::ui
