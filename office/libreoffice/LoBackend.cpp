// The LibreOffice backend: one session per application kind; the module's entry
// point hands it to the loader in tx_office.
#include "LoApps.h"
#include "SofficeInstance.h"
#include "UnoWorker.h"
#include "office/OfficeBackend.h"

#include <QFileInfo>

namespace tx::office::lo {
namespace {

class LoBackend final : public Backend {
public:
    LoBackend() : writer(QStringLiteral("writer")), calc(QStringLiteral("calc")), impress(QStringLiteral("impress"))
    {
        const int limit = qEnvironmentVariableIntValue("TESSARIX_OFFICE_TIMEOUT_MS");
        setCallTimeLimitMs(limit > 0 ? limit : kDefaultCallTimeLimitMs);
    }

    QString name() const override { return QStringLiteral("libreoffice"); }

    std::unique_ptr<WordApplication> attachWord() override
    {
        return installed() && writer.attach() ? makeWriterWord(writer) : nullptr;
    }
    std::unique_ptr<WordApplication> createWord() override
    {
        writer.start();
        return makeWriterWord(writer);
    }
    std::unique_ptr<PowerPointApplication> attachPowerPoint() override
    {
        return installed() && impress.attach() ? makeImpressPowerPoint(impress) : nullptr;
    }
    std::unique_ptr<PowerPointApplication> createPowerPoint() override
    {
        impress.start();
        return makeImpressPowerPoint(impress);
    }
    std::unique_ptr<ExcelApplication> attachExcel() override
    {
        return installed() && calc.attach() ? makeCalcExcel(calc) : nullptr;
    }
    std::unique_ptr<ExcelApplication> createExcel() override
    {
        calc.start();
        return makeCalcExcel(calc);
    }
    void setCallTimeLimitMs(int ms) override
    {
        for (LoSession *s : {&writer, &calc, &impress})
            s->limitMs = ms > 0 ? ms : kDefaultCallTimeLimitMs;
    }
    void startInBackground() override
    {
        // Most imports are of text documents; the others start on first use.
        if (installed())
            writer.startInBackground();
    }
    void closeOwnDocuments() override
    {
        // Each kind's worker in turn; one stuck in a long call is left to it (the
        // next process to open a document closes what is left).
        constexpr int kLeaveMs = 2000;
        for (LoSession *s : {&writer, &calc, &impress})
            s->worker->run([s] { s->closeTracked(); }, kLeaveMs);
    }
    void shutdown() override
    {
        for (LoSession *s : {&writer, &calc, &impress}) {
            try {
                s->call(QStringLiteral("shutdown"), [s] {
                    if (s->instance.alive() || s->instance.context.is())
                        s->instance.terminateIfUnused();
                });
            } catch (...) {
                // A hung instance was killed by the call's time limit.
            }
        }
    }

private:
    static bool installed() { return QFileInfo(sofficePath()).isExecutable(); }

    LoSession writer, calc, impress;
};

} // namespace
} // namespace tx::office::lo

extern "C" __attribute__((visibility("default"))) tx::office::Backend *tessarix_office_lo_backend()
{
    // Never destroyed: its worker may be inside a call at exit.
    static auto *backend = new tx::office::lo::LoBackend;
    return backend;
}

// See office/LeaveOffice.h.
extern "C" __attribute__((visibility("default"))) void tessarix_office_lo_close_own_documents()
{
    tessarix_office_lo_backend()->closeOwnDocuments();
}
