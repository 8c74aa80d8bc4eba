#pragma once
// A control for dispatch tests: members of every shape, and members that fail.
#include "platform/AutomationError.h"

#include <QWidget>

namespace tx::test {

class FakeControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
public:
    QString Caption() const { return caption; }
    void setCaption(const QString &c) { caption = c; }

    Q_INVOKABLE int Add(int a, int b) { return a + b; }
    Q_INVOKABLE QString Echo(const QString &s) { return s; }
    Q_INVOKABLE bool Flag() { return true; }
    Q_INVOKABLE int Init(const QString &s, int a, int opt1, int opt2)
    {
        Q_UNUSED(s);
        return a * 100 + opt1 * 10 + opt2;
    }
    Q_INVOKABLE void Fail(int kind)
    {
        switch (kind) {
        case 1: raiseRuntime(ErrFileNotFound, QStringLiteral("/no/such/file"));
        case 2: throw AutomationError(9999, QStringLiteral("CompondFile:AddUploadFile Method"), QString());
        case 3: throw AutomationError(kErrBadUrl, QStringLiteral("Error"), QStringLiteral("错误的URL"));
        default: throw std::runtime_error("plain failure");
        }
    }
    Q_INVOKABLE void Drift(const QString &) {}

private:
    QString caption;
};

} // namespace tx::test
