#include "bridge/AuditLog.h"

#include "core/Settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tx::bridge {
namespace {

constexpr qint64 kDayMs = 24 * 3600 * 1000;
// No refusal's words need more; a Host or a member name can be kilobytes.
constexpr qsizetype kMaxRefusalLine = 1024;

} // namespace

AuditLog::AuditLog(QString path, qint64 max)
    : file(std::move(path)), limit(max), clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
}

AuditLog::~AuditLog() { roll(clock(), true); }

QString AuditLog::defaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/tessarix/bridge.log");
}

qint64 AuditLog::minute() { return qint64(settings::tickMs()) * 600; }

QString AuditLog::shown(const QByteArray &text)
{
    QString out;
    for (const char c : text.left(100)) {
        if (c >= 0x20 && c < 0x7f && c != '\\')
            out += QLatin1Char(c);
        else
            out += QStringLiteral("\\x%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
    }
    if (text.size() > 100)
        out += QStringLiteral("...");
    return out;
}

void AuditLog::write(const QString &line)
{
    const qint64 now = clock();
    roll(now, false);
    append(line, now);
}

void AuditLog::refused(const QString &peer, const QByteArray &origin, const QString &line)
{
    const qint64 now = clock();
    roll(now, false);
    if (dayBytes >= kRefusalsPerDay) {
        ++quiet;
        return;
    }
    const QString shownOrigin = origin.isEmpty() ? QStringLiteral("(no origin)") : shown(origin);
    const QString key = peer + QLatin1Char(' ') + shownOrigin;
    auto it = counts.find(key);
    if (it == counts.end()) {
        if (counts.size() >= kOriginsPerMinute) {
            ++others;
            return;
        }
        it = counts.insert(key, {peer, shownOrigin});
    }
    if (it->written < kLinesPerOrigin) {
        ++it->written;
        dayBytes += append(line.left(kMaxRefusalLine), now);
    } else {
        ++it->more;
    }
}

void AuditLog::flush() { roll(clock(), false); }

// Ends the minute when it is over (or at once with `force`): its counts become lines.
void AuditLog::roll(qint64 now, bool force)
{
    if (now / kDayMs != day) {
        day = now / kDayMs;
        dayBytes = 0;
    }
    if (windowStart < 0)
        windowStart = now;
    if (!force && now - windowStart < minute())
        return;
    for (const Count &c : std::as_const(counts))
        if (c.more > 0)
            dayBytes += append(QStringLiteral("%1 more refused from %2 (%3, in the last minute)").arg(c.more).arg(c.origin, c.peer), now);
    if (others > 0)
        dayBytes += append(QStringLiteral("%1 more refused from other origins (in the last minute)").arg(others), now);
    if (quiet > 0)
        dayBytes += append(QStringLiteral("%1 more refused in the last minute (today's refusal lines are full)").arg(quiet), now);
    counts.clear();
    others = quiet = 0;
    windowStart = now;
}

qint64 AuditLog::append(const QString &line, qint64 now)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    const QByteArray name = QFile::encodeName(file);
    struct stat st{};
    if (::lstat(name.constData(), &st) == 0 && st.st_size >= limit)
        ::rename(name.constData(), QFile::encodeName(file + QStringLiteral(".1")).constData());
    // Values could carry line breaks; one entry stays one line.
    QString text = line;
    text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    const QByteArray entry = (QDateTime::fromMSecsSinceEpoch(now, Qt::UTC).toString(Qt::ISODateWithMs) +
                              QLatin1Char(' ') + text + QLatin1Char('\n'))
                                 .toUtf8();
    const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return unwritten(errno);
    ::fchmod(fd, 0600);
    // The count of what was lost goes first, so the gap is seen where it is.
    QByteArray out;
    if (lost > 0)
        out = (QDateTime::fromMSecsSinceEpoch(now, Qt::UTC).toString(Qt::ISODateWithMs) +
               QStringLiteral(" %1 entries could not be written to this log\n").arg(lost))
                  .toUtf8();
    out += entry;
    const ssize_t n = ::write(fd, out.constData(), size_t(out.size()));
    const int error = errno;
    ::close(fd);
    if (n != out.size())
        return unwritten(n < 0 ? error : ENOSPC);
    lost = 0;
    return out.size();
}

// Nothing of the entry stands in the log: counted for the next entry that can be
// written, and said on the service's error output once until the log takes lines again.
qint64 AuditLog::unwritten(int error)
{
    if (lost++ == 0)
        qWarning("tessarix serve: cannot write the audit log %s: %s", qPrintable(file), strerror(error));
    return 0;
}

} // namespace tx::bridge
