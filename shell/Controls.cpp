#include "shell/Controls.h"

#include "helper/Helper.h"
#include "imageimport/ImageImport.h"
#include "multiupload/MultiUpload.h"
#include "platform/FormLook.h"
#include "officeimport/OfficeImport.h"
#include "screenshot/ScreenShot.h"
#include "shell/com/TypeInfo.h"
#include "upload/FileUpload.h"

#include <QApplication>
#include <QWidget>
#include <cstring>

namespace tx::shell {

namespace {

QObject *newControl(const com::ClassInfo &cls)
{
    const auto is = [&cls](const char *name) { return std::strcmp(cls.name, name) == 0; };
    if (is("FileUpload"))
        return new FileUpload;
    if (is("OfficeImport"))
        return new OfficeImport;
    if (is("MultiUpload"))
        return new MultiUpload;
    if (is("ImageImport"))
        return new ImageImport;
    if (is("ScreenShot"))
        return new ScreenShot;
    if (is("Helper"))
        return new Helper;
    return nullptr;
}

} // namespace

QObject *createControl(const com::ClassInfo &cls)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return nullptr;
    QObject *control = newControl(cls);
    if (auto *form = qobject_cast<QWidget *>(control))
        ui::applyFormLook(form);
    return control;
}

} // namespace tx::shell
