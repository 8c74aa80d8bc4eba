#pragma once
// What the type library says about a class: its identifiers and the members of
// its default dispatch interface. Static data of the library; a pointer to it
// stays valid while the library is loaded.
#include "shell/com/Guid.h"

#include <QString>
#include <vector>

namespace tx::com {

enum class VarType { Void, String, Int32, Bool };
enum class MemberKind { Method, PropertyGet, PropertyGetPut };

struct ParamInfo {
    const char *name;
    VarType type;
    bool byRef = false;      // a string passed by reference; the member leaves it unchanged
    bool optional = false;
    int32_t defaultValue = 0; // for an optional 32-bit integer
    bool localPath = false;   // names a local file or folder the member reads
};

struct MemberInfo {
    int32_t dispid;
    const char *name;
    MemberKind kind;
    std::vector<ParamInfo> params; // for a property: none (its value is the result / the put argument)
    VarType result;

    bool isProperty() const { return kind != MemberKind::Method; }
    int requiredCount() const;
};

struct ClassInfo {
    const char *name;      // "FileUpload"
    Guid clsid;
    Guid iid;              // "_FileUpload"
    Guid eventIid;         // "__FileUpload"; null for a class without a window
    bool visible;          // a control with a window
    std::vector<MemberInfo> members;

    QString progId() const { return QStringLiteral("Tessarix5.") + QLatin1String(name); }
    QString interfaceName() const { return QLatin1Char('_') + QLatin1String(name); }
    QString eventInterfaceName() const { return QStringLiteral("__") + QLatin1String(name); }
    const MemberInfo *member(int32_t dispid) const;
    const MemberInfo *member(QStringView name) const; // without regard to letter case
};

QString typeName(VarType t);

} // namespace tx::com
