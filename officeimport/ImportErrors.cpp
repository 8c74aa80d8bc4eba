#include "officeimport/ImportErrors.h"

namespace tx::importerror {

AutomationError make(const QString &description)
{
    return AutomationError(ErrAutomation, QStringLiteral("OfficeImport"), description);
}

AutomationError picture(const QString &fileName, const QString &reason)
{
    return make(QStringLiteral("图片上传失败：") + fileName + QStringLiteral("（") + reason + QStringLiteral("）"));
}

AutomationError article(const QString &reason)
{
    return make(QStringLiteral("文章提交失败：") + reason);
}

AutomationError cannotOpen(const QString &userPath)
{
    return make(QStringLiteral("无法打开文档：") + userPath);
}

AutomationError officeStopped(const QString &userPath)
{
    return make(QStringLiteral("转换文档时办公程序意外停止：") + userPath);
}

} // namespace tx::importerror
