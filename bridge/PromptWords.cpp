#include "bridge/PromptWords.h"

namespace tx::bridge {

PromptWords promptWords(const QString &origin, const QLocale &locale)
{
    if (locale.language() == QLocale::Chinese) {
        return {QStringLiteral("Tessarix：%1").arg(origin),
                QStringLiteral("%1 的网页想要使用这台计算机上的 Tessarix 控件。\n\n"
                               "它将能够上传你在对话框中选择的文件和文件夹，导入你选择的办公文档和图片，截取屏幕，"
                               "读取剪贴板中复制的图片列表，并把这些内容发送到它的服务器。它不能读取你的其他任何文件。\n\n"
                               "是否允许？")
                    .arg(origin),
                {QStringLiteral("仅允许这一次"), QStringLiteral("总是允许"), QStringLiteral("拒绝")}};
    }
    return {QStringLiteral("Tessarix: %1").arg(origin),
            QStringLiteral("The page at %1 wants to use the Tessarix controls on this computer.\n\n"
                           "It will be able to upload files and folders that you pick in a dialog, import office "
                           "documents and pictures you pick, capture the screen, read the clipboard's list of copied "
                           "pictures, and send all of it to its server. It cannot read any other file of yours.\n\n"
                           "Allow it?")
                .arg(origin),
            {QStringLiteral("Allow once"), QStringLiteral("Always"), QStringLiteral("Deny")}};
}

} // namespace tx::bridge
