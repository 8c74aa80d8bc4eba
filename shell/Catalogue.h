#pragma once
// The type library Tessarix5: the six public classes with their identifiers and
// members, and the private classes that no one outside creates.
#include "shell/com/TypeInfo.h"

#include <QStringList>
#include <vector>

namespace tx::shell {

struct TypeLibrary {
    QString name;        // "Tessarix5"
    QString description;
    com::Guid libid;
    int majorVersion;
    int minorVersion;
    std::vector<com::ClassInfo> classes;
    QStringList privateClasses;
};

const TypeLibrary &typeLibrary();

const com::ClassInfo *findClass(const com::Guid &clsid);
// By class name or ProgID, without regard to letter case.
const com::ClassInfo *findClass(QStringView nameOrProgId);

} // namespace tx::shell
