#pragma once
// Failures of an office application that the import names in the user's words
// rather than the office connection's: a file that is not a document of the
// kind asked for (or cannot be opened at all, or is locked by a password), and
// an application that stopped or hung under a call. Still AutomationErrors, with
// the backend's own description, for callers that do not care.
#include "core/AutomationError.h"

namespace tx::office {

struct OfficeFailure : AutomationError {
    enum class Kind { CannotOpen, Stopped };
    Kind kind = Kind::CannotOpen;

    OfficeFailure(Kind k, AutomationError e) : AutomationError(std::move(e)), kind(k) {}
};

[[noreturn]] inline void raiseCannotOpen(const QString &detail)
{
    throw OfficeFailure(OfficeFailure::Kind::CannotOpen, runtimeError(ErrAutomation, detail));
}

[[noreturn]] inline void raiseStopped(const QString &detail)
{
    throw OfficeFailure(OfficeFailure::Kind::Stopped, runtimeError(ErrAutomation, detail));
}

} // namespace tx::office
