#include "shell/com/TypeInfo.h"

namespace tx::com {

int MemberInfo::requiredCount() const
{
    int n = 0;
    for (const ParamInfo &p : params)
        n += p.optional ? 0 : 1;
    return n;
}

const MemberInfo *ClassInfo::member(int32_t dispid) const
{
    for (const MemberInfo &m : members)
        if (m.dispid == dispid)
            return &m;
    return nullptr;
}

const MemberInfo *ClassInfo::member(QStringView wanted) const
{
    for (const MemberInfo &m : members)
        if (wanted.compare(QLatin1String(m.name), Qt::CaseInsensitive) == 0)
            return &m;
    return nullptr;
}

QString typeName(VarType t)
{
    switch (t) {
    case VarType::Void: return QStringLiteral("void");
    case VarType::String: return QStringLiteral("string");
    case VarType::Int32: return QStringLiteral("long");
    case VarType::Bool: return QStringLiteral("boolean");
    }
    return {};
}

} // namespace tx::com
