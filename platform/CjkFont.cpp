#include "platform/CjkFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace tx::ui {
namespace {

QString lookUpFamily()
{
    const QStringList all = QFontDatabase::families();
    for (const char *name : {"SimSun", "宋体", "NSimSun"})
        if (all.contains(QString::fromUtf8(name)))
            return QString::fromUtf8(name);
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    for (const QString &family : chinese)
        if (family.contains(QLatin1String("Song"), Qt::CaseInsensitive) ||
            family.contains(QLatin1String("Ming"), Qt::CaseInsensitive))
            return family;
    for (const QString &family : chinese)
        if (!family.contains(QLatin1String("Mono"), Qt::CaseInsensitive))
            return family;
    // Found by file, whatever the font configuration says.
    const int id = QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"));
    const QStringList loaded = QFontDatabase::applicationFontFamilies(id);
    return loaded.isEmpty() ? QStringLiteral("WenQuanYi Zen Hei") : loaded.first();
}

} // namespace

QString cjkFamily()
{
    static const QString family = lookUpFamily();
    return family;
}

QFont cjkFont(int pointSize)
{
    QFont f(cjkFamily());
    f.setPointSize(pointSize);
    return f;
}

} // namespace tx::ui
