#pragma once
// The service's audit log: $XDG_STATE_HOME/tessarix/bridge.log, mode 0600,
// rotated at 1 MiB keeping one old file. Sessions, refusals, the ProgIDs created,
// the members called and the upload targets; never argument values or contents.
#include <QString>

namespace tx::bridge {

class AuditLog {
public:
    explicit AuditLog(QString path = defaultPath(), qint64 limit = 1024 * 1024);
    static QString defaultPath();
    const QString &path() const { return file; }

    void write(const QString &line);

private:
    QString file;
    qint64 limit;
};

} // namespace tx::bridge
