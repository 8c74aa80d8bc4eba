#pragma once
// The service's audit log: $XDG_STATE_HOME/tessarix/bridge.log, mode 0600,
// rotated at 3 MiB keeping one old file. Sessions, refusals, the ProgIDs created,
// the members called and the upload targets; never argument values or contents.
//
// Refusals are what any page can make many of. Each peer and origin gets a few
// lines a minute; what it is refused beyond them is counted, in one line at the
// end of the minute. At most a few origins a minute are told apart, and the
// refusals of a day take at most 512 KiB: beyond it one line a minute counts them.
// A flood of refusals thus never rotates the day's session records away.
#include <QHash>
#include <QString>
#include <functional>

namespace tx::bridge {

class AuditLog {
public:
    explicit AuditLog(QString path = defaultPath(), qint64 limit = 3 * 1024 * 1024);
    ~AuditLog(); // writes the counts still open
    static QString defaultPath();
    const QString &path() const { return file; }

    void write(const QString &line);
    // A refused connection, request or argument: `origin` as the page sent it,
    // empty when it sent none; `line` names it (with shown() for the page's words).
    void refused(const QString &peer, const QByteArray &origin, const QString &line);
    // Writes the counts of a minute that has ended.
    void flush();

    // A page's text as the log shows it: printable ASCII, the rest escaped, cut at 100.
    static QString shown(const QByteArray &text);

    // Milliseconds since the epoch; replaceable by tests.
    void setClock(std::function<qint64()> now) { clock = std::move(now); }
    // The length of the "minute" the refusals are counted in: 600 ticks.
    static qint64 minute();

    static constexpr int kLinesPerOrigin = 3;
    static constexpr int kOriginsPerMinute = 16;
    static constexpr qint64 kRefusalsPerDay = 512 * 1024;

private:
    struct Count {
        QString peer;
        QString origin;
        int written = 0;
        qint64 more = 0;
    };
    void roll(qint64 now, bool force);
    qint64 append(const QString &line, qint64 now);
    qint64 unwritten(int error);

    QString file;
    qint64 limit;
    std::function<qint64()> clock;
    qint64 windowStart = -1;
    QHash<QString, Count> counts; // this minute's, by peer and origin
    qint64 others = 0;            // refused this minute from origins beyond those counted apart
    qint64 quiet = 0;             // refused this minute after the day's refusal records were full
    qint64 day = -1;
    qint64 dayBytes = 0; // of refusal records written that day
    qint64 lost = 0;     // entries that could not be written since the last that could
};

} // namespace tx::bridge
