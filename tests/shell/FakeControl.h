#pragma once
// A control for dispatch tests: members of every shape, and members that fail.
#include "core/Activity.h"
#include "core/AutomationError.h"
#include "core/Pump.h"
#include "platform/Ui.h"

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
    // A member that pumps events until resume() (which the control's own code calls).
    Q_INVOKABLE int Wait()
    {
        waiting = true;
        return pump::until(this, [this] { return !waiting; }) ? 1 : 0;
    }
    void resume() { waiting = false; }
    // A person's start button: a long operation that pumps until resume().
    void start()
    {
        const activity::UserOperation operation(this);
        if (!operation) {
            seen << QStringLiteral("refused");
            return;
        }
        seen << QStringLiteral("started");
        waiting = true;
        const bool stood = pump::until(this, [this] { return !waiting; });
        ui::messageBox(QStringLiteral("finished"));
        seen << (stood ? QStringLiteral("finished") : QStringLiteral("ended"));
    }

    QStringList seen;

private:
    QString caption;
    bool waiting = false;
};

} // namespace tx::test
