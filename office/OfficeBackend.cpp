#include "office/OfficeBackend.h"

#include "core/AutomationError.h"
#include "office/FakeOffice.h"

#include <QDir>
#include <QFileInfo>
#include <dlfcn.h>

namespace tx::office {
namespace {

constexpr const char *kModuleName = "libtessarix-office-lo.so";
constexpr const char *kEntry = "tessarix_office_lo_backend";

// Stands in when LibreOffice cannot be loaded: nothing runs, nothing starts.
class MissingOffice final : public Backend {
public:
    explicit MissingOffice(QString reason) : reason(std::move(reason)) {}
    QString name() const override { return QStringLiteral("missing"); }
    std::unique_ptr<WordApplication> attachWord() override { return nullptr; }
    std::unique_ptr<WordApplication> createWord() override { fail(); }
    std::unique_ptr<PowerPointApplication> attachPowerPoint() override { return nullptr; }
    std::unique_ptr<PowerPointApplication> createPowerPoint() override { fail(); }
    std::unique_ptr<ExcelApplication> attachExcel() override { return nullptr; }
    std::unique_ptr<ExcelApplication> createExcel() override { fail(); }
    void setCallTimeLimitMs(int) override {}
    void shutdown() override {}

private:
    [[noreturn]] void fail() const
    {
        raiseRuntime(ErrCantCreateObject, QStringLiteral("soffice: ") + reason);
    }
    QString reason;
};

QStringList moduleCandidates()
{
    QStringList out;
    const QString env = qEnvironmentVariable("TESSARIX_OFFICE_MODULE");
    if (!env.isEmpty())
        return {env};
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&moduleCandidates), &info) && info.dli_fname) {
        const QDir here = QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absoluteDir();
        out << here.filePath(kModuleName) << here.filePath(QStringLiteral("../lib/") + kModuleName);
    }
    out << QString::fromLatin1(kModuleName); // the library search path
    return out;
}

Backend *loadLibreOffice()
{
    QString reason;
    for (const QString &path : moduleCandidates()) {
        if (path.contains(QLatin1Char('/')) && !QFileInfo::exists(path))
            continue;
        void *handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            reason = QString::fromLocal8Bit(dlerror());
            continue;
        }
        using Entry = Backend *(*)();
        auto entry = reinterpret_cast<Entry>(dlsym(handle, kEntry));
        if (entry) {
            if (Backend *b = entry())
                return b; // lives as long as the process; the module stays loaded
        }
        reason = QStringLiteral("%1 has no usable entry point").arg(path);
        dlclose(handle);
    }
    if (reason.isEmpty())
        reason = QStringLiteral("LibreOffice support (%1) is not installed").arg(kModuleName);
    return new MissingOffice(reason);
}

Backend *chosen = nullptr;

} // namespace

Backend &backend()
{
    if (chosen)
        return *chosen;
    if (qEnvironmentVariable("TESSARIX_OFFICE") == QLatin1String("fake"))
        return FakeOffice::instance();
    static Backend *libreOffice = loadLibreOffice();
    return *libreOffice;
}

void setBackend(Backend *b)
{
    chosen = b;
}

void startInBackgroundOnce()
{
    static bool started = false;
    if (started || qEnvironmentVariable("TESSARIX_OFFICE_PRESTART") == QLatin1String("0"))
        return;
    started = true;
    backend().startInBackground();
}

} // namespace tx::office
