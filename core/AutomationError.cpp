#include "core/AutomationError.h"

#include <cerrno>

namespace tx {

const char *AutomationError::what() const noexcept
{
    whatText = QStringLiteral("(%1)[%2]%3").arg(number).arg(source, description).toUtf8();
    return whatText.constData();
}

QString runtimeDescription(int32_t n)
{
    switch (n) {
    case ErrInvalidCall: return QStringLiteral("Invalid procedure call or argument");
    case ErrOverflow: return QStringLiteral("Overflow");
    case ErrSubscript: return QStringLiteral("Subscript out of range");
    case ErrTypeMismatch: return QStringLiteral("Type mismatch");
    case ErrFileNotFound: return QStringLiteral("File not found");
    case ErrPermissionDenied: return QStringLiteral("Permission denied");
    case ErrPathFileAccess: return QStringLiteral("Path/File access error");
    case ErrPathNotFound: return QStringLiteral("Path not found");
    case ErrObjectNotSet: return QStringLiteral("Object variable or With block variable not set");
    case ErrCantCreateObject: return QStringLiteral("ActiveX component can't create object");
    case ErrNoSuchMember: return QStringLiteral("Object doesn't support this property or method");
    case ErrAutomation: return QStringLiteral("Automation error");
    case ErrArgNotOptional: return QStringLiteral("Argument not optional");
    case ErrWrongArgCount: return QStringLiteral("Wrong number of arguments or invalid property assignment");
    case ErrDuplicateKey: return QStringLiteral("This key is already associated with an element of this collection");
    default: return {};
    }
}

AutomationError runtimeError(int32_t n, const QString &detail)
{
    QString d = runtimeDescription(n);
    if (!detail.isEmpty())
        d += QStringLiteral(": ") + detail;
    return AutomationError(n, QStringLiteral("Tessarix5"), d);
}

void raiseRuntime(int32_t n, const QString &detail)
{
    throw runtimeError(n, detail);
}

int32_t scriptNumber(int32_t n)
{
    if (n > 0 && n <= 0xFFFF)
        return int32_t(0x800A0000u + uint32_t(n));
    return n;
}

AutomationError fileError(int err, const QString &path)
{
    switch (err) {
    case ENOENT: return runtimeError(ErrFileNotFound, path);
    case ENOTDIR: return runtimeError(ErrPathNotFound, path);
    case EACCES:
    case EPERM:
    case EROFS: return runtimeError(ErrPermissionDenied, path);
    default: return runtimeError(ErrPathFileAccess, path);
    }
}

} // namespace tx
