#include "shell/com/TypeInfoJson.h"

#include "shell/com/TypeInfo.h"

#include <QJsonArray>

namespace tx::com {

namespace {

QString hexId(int32_t dispid) { return QString::number(uint32_t(dispid), 16).toUpper(); }

QString kindName(MemberKind k)
{
    switch (k) {
    case MemberKind::Method: return QStringLiteral("method");
    case MemberKind::PropertyGet: return QStringLiteral("property get");
    case MemberKind::PropertyGetPut: return QStringLiteral("property get put");
    }
    return {};
}

QJsonObject memberJson(const MemberInfo &m)
{
    QJsonArray params;
    for (const ParamInfo &p : m.params) {
        QJsonObject o{{QStringLiteral("name"), QLatin1String(p.name)}, {QStringLiteral("type"), typeName(p.type)}};
        if (p.byRef)
            o.insert(QStringLiteral("byRef"), true);
        if (p.localPath)
            o.insert(QStringLiteral("localPath"), true);
        if (p.optional) {
            o.insert(QStringLiteral("optional"), true);
            o.insert(QStringLiteral("default"), p.defaultValue);
        }
        params.append(o);
    }
    return QJsonObject{{QStringLiteral("dispid"), hexId(m.dispid)},
                       {QStringLiteral("name"), QLatin1String(m.name)},
                       {QStringLiteral("kind"), kindName(m.kind)},
                       {QStringLiteral("params"), params},
                       {QStringLiteral("result"), typeName(m.result)}};
}

} // namespace

QJsonObject classJson(const ClassInfo &cls)
{
    QJsonArray members;
    for (const MemberInfo &m : cls.members)
        members.append(memberJson(m));
    QJsonObject o{{QStringLiteral("name"), QLatin1String(cls.name)},
                  {QStringLiteral("progId"), cls.progId()},
                  {QStringLiteral("clsid"), cls.clsid.toString()},
                  {QStringLiteral("kind"), cls.visible ? QStringLiteral("control") : QStringLiteral("object")},
                  {QStringLiteral("creatable"), true},
                  {QStringLiteral("safeForScripting"), true},
                  {QStringLiteral("safeForInitializing"), true},
                  {QStringLiteral("interface"),
                   QJsonObject{{QStringLiteral("name"), cls.interfaceName()},
                               {QStringLiteral("iid"), cls.iid.toString()},
                               {QStringLiteral("dual"), true},
                               {QStringLiteral("hidden"), true},
                               {QStringLiteral("members"), members}}}};
    if (!cls.eventIid.isNull())
        o.insert(QStringLiteral("events"), QJsonObject{{QStringLiteral("name"), cls.eventInterfaceName()},
                                                       {QStringLiteral("iid"), cls.eventIid.toString()},
                                                       {QStringLiteral("members"), QJsonArray{}}});
    return o;
}

} // namespace tx::com
