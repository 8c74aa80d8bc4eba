#include "core/Pump.h"

#include "core/Activity.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace tx::pump {

void once()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void until(const std::function<bool()> &done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool until(const QObject *owner, const std::function<bool()> &done)
{
    const activity::Scope keep(owner);
    while (!done()) {
        if (!activity::stands(owner))
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void forMs(int ms)
{
    QDeadlineTimer deadline(ms);
    bool expired = false;
    QTimer wake;
    wake.setSingleShot(true);
    QObject::connect(&wake, &QTimer::timeout, [&expired] { expired = true; });
    wake.start(ms);
    while (!expired && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace tx::pump
