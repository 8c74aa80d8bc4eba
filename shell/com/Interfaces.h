#pragma once
// The component's binary interfaces. Both sides of the library boundary are built
// by the same compiler against these headers, so plain abstract classes are the
// vtables. No C++ exception ever crosses them: failures are result codes and, for
// Invoke, an ExcepInfo.
#include "shell/com/Guid.h"
#include "shell/com/Result.h"
#include "shell/com/TypeInfo.h"

#include <QString>
#include <QVariant>

class QObject;

namespace tx::com {

class IUnknown {
public:
    virtual HRESULT QueryInterface(const Guid &iid, void **out) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

class IClassFactory : public IUnknown {
public:
    virtual HRESULT CreateInstance(IUnknown *outer, const Guid &iid, void **out) = 0;
    virtual HRESULT LockServer(bool lock) = 0;

protected:
    ~IClassFactory() = default;
};

enum DispatchFlags : uint16_t {
    DISPATCH_METHOD = 1,
    DISPATCH_PROPERTYGET = 2,
    DISPATCH_PROPERTYPUT = 4,
};

// An automation error as Invoke reports it (DISP_E_EXCEPTION); `scode` is the
// number the script sees.
struct ExcepInfo {
    int32_t scode = 0;
    QString source;
    QString description;
};

class IDispatch : public IUnknown {
public:
    // The class's entry of the type library.
    virtual HRESULT GetTypeInfo(const ClassInfo **info) = 0;
    // Names compare without regard to letter case; an unknown name gives
    // DISP_E_UNKNOWNNAME and -1 in its slot.
    virtual HRESULT GetIDsOfNames(const QString *names, uint32_t count, int32_t *dispids) = 0;
    // Arguments in call order. A property put takes its value as the only argument.
    virtual HRESULT Invoke(int32_t dispid, uint16_t flags, const QVariantList &args, QVariant *result,
                           ExcepInfo *excep) = 0;

protected:
    ~IDispatch() = default;
};

class IObjectSafety : public IUnknown {
public:
    enum : uint32_t {
        INTERFACESAFE_FOR_UNTRUSTED_CALLER = 1,
        INTERFACESAFE_FOR_UNTRUSTED_DATA = 2,
    };
    // A null riid is allowed.
    virtual HRESULT GetInterfaceSafetyOptions(const Guid *riid, uint32_t *supported, uint32_t *enabled) = 0;
    virtual HRESULT SetInterfaceSafetyOptions(const Guid *riid, uint32_t optionSetMask, uint32_t enabledOptions) = 0;

protected:
    ~IObjectSafety() = default;
};

// Private to the library and its host: the control behind the object, so the
// host can show it and find its children. Borrowed; the object keeps ownership.
class IControlObject : public IUnknown {
public:
    virtual QObject *controlObject() = 0;

protected:
    ~IControlObject() = default;
};

// The library's type library, handed out by DllGetClassObject for LIBID_Tessarix5
// and IID_ITypeLibrary: how a host finds a class by ProgID without a registry.
class ITypeLibrary : public IUnknown {
public:
    virtual uint32_t ClassCount() = 0;
    virtual const ClassInfo *ClassAt(uint32_t index) = 0;
    // A public class by name or ProgID, without regard to letter case;
    // CLASS_E_CLASSNOTAVAILABLE for anything else (the private classes too).
    virtual HRESULT FindClass(const QString &nameOrProgId, const ClassInfo **info) = 0;

protected:
    ~ITypeLibrary() = default;
};

inline constexpr Guid LIBID_Tessarix5 = guid("FC1CC932-4CBF-433B-93AB-2E831138F294");
inline constexpr Guid IID_ITypeLibrary = guid("21CCA65A-F0F0-4074-9B6B-D4A9D8C9D623");

// Entry points of the library (extern "C").
using DllGetClassObjectFn = HRESULT (*)(const Guid *clsid, const Guid *iid, void **out);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();

} // namespace tx::com
