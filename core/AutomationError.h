#pragma once
// The one error type that reaches page scripts: number, source, description.
#include <QString>
#include <cstdint>
#include <exception>

namespace tx {

// Small runtime error numbers used inside the component. At the script boundary
// they become 0x800A0000 + n (see scriptNumber); result codes pass unchanged.
enum RuntimeError : int32_t {
    ErrInvalidCall = 5,
    ErrOverflow = 6,
    ErrSubscript = 9,
    ErrTypeMismatch = 13,
    ErrFileNotFound = 53,
    ErrPermissionDenied = 70,
    ErrPathFileAccess = 75,
    ErrPathNotFound = 76,
    ErrObjectNotSet = 91,
    ErrCantCreateObject = 429,
    ErrNoSuchMember = 438,
    ErrAutomation = 440,
    ErrArgNotOptional = 449,
    ErrWrongArgCount = 450,
    ErrDuplicateKey = 457,
};

inline constexpr int32_t kErrBadUrl = int32_t(0x80040000u);
inline constexpr int32_t kErrJpegSave = int32_t(0x80040203u);
inline constexpr int32_t kErrBusy = int32_t(0x80040001u);

struct AutomationError : std::exception {
    int32_t number = 0;
    QString source;
    QString description;

    AutomationError() = default;
    AutomationError(int32_t n, QString src, QString desc)
        : number(n), source(std::move(src)), description(std::move(desc)) {}
    const char *what() const noexcept override;

private:
    mutable QByteArray whatText;
};

// The standard description of a small runtime error number ("" when unknown).
QString runtimeDescription(int32_t n);

// A runtime error with source "Tessarix5" and the standard description; `detail`
// (a path, a name) is appended after ": ".
AutomationError runtimeError(int32_t n, const QString &detail = {});
[[noreturn]] void raiseRuntime(int32_t n, const QString &detail = {});

// The number a script sees: small numbers map to 0x800A0000 + n.
int32_t scriptNumber(int32_t n);

// Turns a C++ file-system failure (errno) on `path` into the runtime error a page
// would see (53, 70, 75, 76).
AutomationError fileError(int err, const QString &path);

} // namespace tx
