#include "platform/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

namespace tx::ui {

bool installQtTranslations() { return installQtTranslations(QLocale::system()); }

bool installQtTranslations(const QLocale &locale)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return false;
    // One per application; a later application (tests) gets its own.
    static QPointer<QTranslator> installed;
    if (installed && installed->parent() == app)
        return true;
    auto *translator = new QTranslator(app);
    // "qt" is the meta catalogue that pulls in qtbase and the other modules.
    if (!translator->load(locale, QStringLiteral("qt"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

} // namespace tx::ui
