#include "bridge/AuditLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tx::bridge {

AuditLog::AuditLog(QString path, qint64 max) : file(std::move(path)), limit(max) {}

QString AuditLog::defaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/tessarix/bridge.log");
}

void AuditLog::write(const QString &line)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    const QByteArray name = QFile::encodeName(file);
    struct stat st{};
    if (::lstat(name.constData(), &st) == 0 && st.st_size >= limit)
        ::rename(name.constData(), QFile::encodeName(file + QStringLiteral(".1")).constData());
    // Values could carry line breaks; one entry stays one line.
    QString text = line;
    text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    const QByteArray entry =
        (QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + QLatin1Char(' ') + text + QLatin1Char('\n')).toUtf8();
    const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    ::fchmod(fd, 0600);
    [[maybe_unused]] const ssize_t n = ::write(fd, entry.constData(), size_t(entry.size()));
    ::close(fd);
}

} // namespace tx::bridge
