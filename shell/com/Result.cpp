#include "shell/com/Result.h"

#include "core/AutomationError.h"

namespace tx::com {

int32_t runtimeErrorFor(HRESULT hr)
{
    switch (hr) {
    case DISP_E_UNKNOWNNAME:
    case DISP_E_MEMBERNOTFOUND: return ErrNoSuchMember;
    case DISP_E_BADPARAMCOUNT: return ErrWrongArgCount;
    case DISP_E_PARAMNOTOPTIONAL: return ErrArgNotOptional;
    case DISP_E_TYPEMISMATCH: return ErrTypeMismatch;
    case DISP_E_OVERFLOW: return ErrOverflow;
    case CLASS_E_CLASSNOTAVAILABLE:
    case CLASS_E_NOAGGREGATION:
    case E_NOINTERFACE: return ErrCantCreateObject;
    default: return ErrAutomation;
    }
}

} // namespace tx::com
