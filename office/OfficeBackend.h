#pragma once
// The office automation servers: attach to a running application or create one.
// A conversion asks backend() for its application and then uses only the
// interfaces of WordAutomation.h, PowerPointAutomation.h and ExcelAutomation.h.
#include "office/ExcelAutomation.h"
#include "office/PowerPointAutomation.h"
#include "office/WordAutomation.h"

namespace tx::office {

class Backend {
public:
    virtual ~Backend() = default;
    virtual QString name() const = 0;

    // attach…: the application that is running, or null when none is (no error).
    // create…: starts one; throws error 429 naming soffice and the reason.
    virtual std::unique_ptr<WordApplication> attachWord() = 0;
    virtual std::unique_ptr<WordApplication> createWord() = 0;
    virtual std::unique_ptr<PowerPointApplication> attachPowerPoint() = 0;
    virtual std::unique_ptr<PowerPointApplication> createPowerPoint() = 0;
    virtual std::unique_ptr<ExcelApplication> attachExcel() = 0;
    virtual std::unique_ptr<ExcelApplication> createExcel() = 0;

    // The longest one call may take before the application is taken for hung.
    virtual void setCallTimeLimitMs(int ms) = 0;
    // Ends the applications this process started (tests, the host's exit), each
    // only while no process has a document open in it.
    virtual void shutdown() = 0;
    // Starts the word processor without waiting for it, so that the first import
    // finds it running; nothing when it cannot be started (the first import then
    // says why).
    virtual void startInBackground() {}
    // The caller is going away in the middle of its work (a browser page that
    // closed): closes every document this process has open in the office and
    // removes its work copy, waiting a few seconds at most.
    virtual void closeOwnDocuments() {}
};

// The backend in use: the one set by setBackend(); else the fake when the
// environment variable TESSARIX_OFFICE is "fake"; else LibreOffice, loaded on
// first use from libtessarix-office-lo.so. When that module or LibreOffice is
// missing, attach… gives null and create… fails with error 429 at once.
Backend &backend();
// nullptr restores the default choice.
void setBackend(Backend *b);
// The backend's startInBackground(), once per process, unless
// TESSARIX_OFFICE_PRESTART is "0" (the test suite, which must not leave office
// instances behind).
void startInBackgroundOnce();

inline constexpr int kDefaultCallTimeLimitMs = 120000;

} // namespace tx::office
