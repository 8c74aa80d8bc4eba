#pragma once
#include "core/AutomationError.h"

#include <exception>

namespace tx {

inline constexpr int32_t kErrPackage = 9999;

// Runs `body`, turning any failure inside it into error 9999 with `source` and no
// description, as every member of the package classes reports failures.

template <typename F>
auto packageMember(const char *source, F &&body) -> decltype(body())
{
    try {
        return body();
    } catch (const std::exception &) {
        throw AutomationError(kErrPackage, QString::fromLatin1(source), QString());
    }
}

} // namespace tx
