#include "shell/Controls.h"

#include "shell/com/TypeInfo.h"

#include <QApplication>

namespace tx::shell {

QObject *createControl(const com::ClassInfo &cls)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()) || !cls.create)
        return nullptr;
    return cls.create();
}

} // namespace tx::shell
