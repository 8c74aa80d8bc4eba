#pragma once
// Qt's own words (Yes, No, OK, Cancel, the file dialogs) in the user's language,
// so that a Chinese question is not answered with English buttons.
class QLocale;

namespace tx::ui {

// Installs Qt's translations for `locale` (the system's by default) on the running
// application, once; a locale without translations keeps Qt's English. True when
// a translation was installed.
bool installQtTranslations();
bool installQtTranslations(const QLocale &locale);

} // namespace tx::ui
