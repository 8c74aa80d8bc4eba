#pragma once
// A message box is as wide as its text, not its title: a long title (an origin
// before the control's own) would be cut off in the title bar.
class QMessageBox;

namespace tx::ui {

// Widens `box` so that its window title fits beside the title bar's buttons.
void fitTitle(QMessageBox &box);

} // namespace tx::ui
