#include "shell/Controls.h"

#include "platform/FormLook.h"
#include "shell/com/TypeInfo.h"

#include <QApplication>
#include <QWidget>

namespace tx::shell {

QObject *createControl(const com::ClassInfo &cls)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()) || !cls.create)
        return nullptr;
    QObject *control = cls.create();
    if (auto *form = qobject_cast<QWidget *>(control))
        ui::applyFormLook(form);
    return control;
}

} // namespace tx::shell
