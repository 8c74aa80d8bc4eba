#pragma once
// The errors of the office import that a page script or the import loop shows:
// number 440, source "OfficeImport", a Chinese description naming what failed.
#include "core/AutomationError.h"

#include <QString>

namespace tx::importerror {

AutomationError make(const QString &description);

// A picture or slide upload that did not end with a "200 OK" answer.
AutomationError picture(const QString &fileName, const QString &reason);
// The article post that did not end with a "200 OK" answer.
AutomationError article(const QString &reason);
// The user's document is not what its name claims, is damaged or locked.
AutomationError cannotOpen(const QString &userPath);
// The office program stopped (or hung and was stopped) during the conversion.
AutomationError officeStopped(const QString &userPath);

} // namespace tx::importerror
