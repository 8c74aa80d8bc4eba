#pragma once
// Creates the control behind a public class.
#include <QObject>

namespace tx::com {
struct ClassInfo;
}

namespace tx::shell {

// A new control without a Qt parent, or nullptr when the process has no
// QApplication for it to live in.
QObject *createControl(const com::ClassInfo &cls);

} // namespace tx::shell
