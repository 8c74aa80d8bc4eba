#include "office/FakeOffice.h"

#include "office/FakeOfficeState.h"
#include "office/OfficeConstants.h"

namespace tx::office {

QString FakeCall::toString() const
{
    QStringList parts;
    for (const QVariant &a : args)
        parts << (a.isValid() ? a.toString() : QStringLiteral("missing"));
    return object + QLatin1Char('.') + name + QLatin1Char('(') + parts.join(QLatin1String(", "))
        + QLatin1Char(')');
}

void FakeOffice::State::record(const QString &object, const QString &name, QVariantList args)
{
    calls.append(FakeCall{object, name, std::move(args)});
    const auto it = failures.find(name);
    if (it != failures.end()) {
        const std::exception_ptr e = *it;
        failures.erase(it);
        std::rethrow_exception(e);
    }
}

QString FakeOffice::State::nextName(const QString &kind)
{
    return kind + QLatin1Char(' ') + QString::number(++counters[kind]);
}

FakeOffice::FakeOffice() : d(std::make_unique<State>()) {}
FakeOffice::~FakeOffice() = default;

FakeOffice &FakeOffice::instance()
{
    static FakeOffice fake;
    return fake;
}

void FakeOffice::reset()
{
    *d = State{};
}

void FakeOffice::setInstalled(bool installed)
{
    d->installed = installed;
}

void FakeOffice::setRunning(FakeApp app, bool running)
{
    d->running[int(app)] = running;
}

bool FakeOffice::running(FakeApp app) const
{
    return d->running[int(app)];
}

void FakeOffice::addWordDocument(const QString &path, FakeWordDocument doc)
{
    d->word.insert(path, std::move(doc));
}

void FakeOffice::addPresentation(const QString &path, FakePresentation p)
{
    d->presentations.insert(path, p);
}

void FakeOffice::addWorkbook(const QString &path, FakeWorkbook wb)
{
    d->workbooks.insert(path, std::move(wb));
}

void FakeOffice::failOn(const QString &name, AutomationError error)
{
    d->failures.insert(name, std::make_exception_ptr(std::move(error)));
}

void FakeOffice::failOn(const QString &name, OfficeFailure failure)
{
    d->failures.insert(name, std::make_exception_ptr(std::move(failure)));
}

const QList<FakeCall> &FakeOffice::calls() const
{
    return d->calls;
}

QStringList FakeOffice::callStrings() const
{
    QStringList out;
    for (const FakeCall &c : d->calls)
        out << c.toString();
    return out;
}

int FakeOffice::callTimeLimitMs() const
{
    return d->timeLimitMs;
}

QString FakeOffice::name() const
{
    return QStringLiteral("fake");
}

FakeOffice::State &FakeOffice::state()
{
    return *d;
}

bool FakeOffice::State::attach(FakeApp app, const QString &object)
{
    if (!installed || !running[int(app)])
        return false;
    record(object, QStringLiteral("Attach"), {});
    return true;
}

void FakeOffice::State::create(FakeApp app, const QString &object)
{
    if (!installed)
        throw runtimeError(ErrCantCreateObject, QStringLiteral("soffice: not installed"));
    record(object, QStringLiteral("Create"), {});
    running[int(app)] = true;
}

std::unique_ptr<WordApplication> FakeOffice::attachWord()
{
    return d->attach(FakeApp::Word, QStringLiteral("Word")) ? makeFakeWord(*d) : nullptr;
}

std::unique_ptr<WordApplication> FakeOffice::createWord()
{
    d->create(FakeApp::Word, QStringLiteral("Word"));
    return makeFakeWord(*d);
}

std::unique_ptr<PowerPointApplication> FakeOffice::attachPowerPoint()
{
    return d->attach(FakeApp::PowerPoint, QStringLiteral("PowerPoint")) ? makeFakePowerPoint(*d)
                                                                        : nullptr;
}

std::unique_ptr<PowerPointApplication> FakeOffice::createPowerPoint()
{
    d->create(FakeApp::PowerPoint, QStringLiteral("PowerPoint"));
    return makeFakePowerPoint(*d);
}

std::unique_ptr<ExcelApplication> FakeOffice::attachExcel()
{
    return d->attach(FakeApp::Excel, QStringLiteral("Excel")) ? makeFakeExcel(*d) : nullptr;
}

std::unique_ptr<ExcelApplication> FakeOffice::createExcel()
{
    d->create(FakeApp::Excel, QStringLiteral("Excel"));
    return makeFakeExcel(*d);
}

void FakeOffice::setCallTimeLimitMs(int ms)
{
    d->timeLimitMs = ms;
}

void FakeOffice::shutdown()
{
    for (bool &r : d->running)
        r = false;
}

} // namespace tx::office
