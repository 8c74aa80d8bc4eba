#pragma once
// How the controls' forms write: their sizes are laid out in twips for a 9-point
// simplified-Chinese face, so they get one, whatever the desktop's default font.
#include "platform/CjkFont.h"

class QWidget;

namespace tx::ui {

inline constexpr int kFormPointSize = 9;

// Gives a control's form (and every child in it) the 9-point face, and its buttons,
// check boxes and options the sizes the form was laid out for.
void applyFormLook(QWidget *form);

} // namespace tx::ui
