#include "host/AutomationDialogs.h"

#include "platform/AutomationError.h"
#include "platform/Ui.h"

#include <QJSEngine>

namespace tx::host {
namespace {

bool isArray(const QJSValue &v) { return v.isArray(); }

QStringList strings(const QJSValue &array)
{
    QStringList out;
    const int n = array.property(QStringLiteral("length")).toInt();
    for (int i = 0; i < n; ++i)
        out << array.property(quint32(i)).toString();
    return out;
}

} // namespace

void AutomationDialogs::answerMessageBoxes(const QJSValue &answers)
{
    if (!isArray(answers))
        return raise(runtimeError(ErrTypeMismatch, QStringLiteral("answerMessageBoxes needs an array")));
    static const QStringList known{QStringLiteral("ok"), QStringLiteral("cancel"), QStringLiteral("yes"),
                                   QStringLiteral("no")};
    const QStringList list = strings(answers);
    for (const QString &a : list)
        if (!known.contains(a.trimmed().toLower()))
            return raise(runtimeError(ErrInvalidCall, QStringLiteral("no such message box answer: ") + a));
    ui::queueMessageBoxAnswers(list);
}

QJSValue AutomationDialogs::messageBoxes() const
{
    const auto boxes = ui::messageBoxes();
    QJSValue out = engine().newArray(quint32(boxes.size()));
    quint32 i = 0;
    for (const ui::MessageBoxRecord &b : boxes) {
        QJSValue o = engine().newObject();
        o.setProperty(QStringLiteral("text"), b.text);
        o.setProperty(QStringLiteral("title"), b.title);
        o.setProperty(QStringLiteral("buttons"), ui::buttonsName(b.buttons));
        o.setProperty(QStringLiteral("icon"), ui::iconName(b.icon));
        out.setProperty(i++, o);
    }
    return out;
}

void AutomationDialogs::answerFileDialogs(const QJSValue &answers)
{
    if (!isArray(answers))
        return raise(runtimeError(ErrTypeMismatch, QStringLiteral("answerFileDialogs needs an array of arrays")));
    QList<QStringList> list;
    const int n = answers.property(QStringLiteral("length")).toInt();
    for (int i = 0; i < n; ++i) {
        const QJSValue one = answers.property(quint32(i));
        if (!isArray(one))
            return raise(runtimeError(ErrTypeMismatch, QStringLiteral("answerFileDialogs needs an array of arrays")));
        list << strings(one);
    }
    ui::queueFileDialogAnswers(list);
}

void AutomationDialogs::answerFolderDialogs(const QJSValue &answers)
{
    if (!isArray(answers))
        return raise(runtimeError(ErrTypeMismatch, QStringLiteral("answerFolderDialogs needs an array")));
    ui::queueFolderDialogAnswers(strings(answers));
}

QJSValue AutomationDialogs::fileDialogs() const
{
    const auto dialogs = ui::fileDialogs();
    QJSValue out = engine().newArray(quint32(dialogs.size()));
    quint32 i = 0;
    for (const ui::FileDialogRequest &d : dialogs) {
        QJSValue o = engine().newObject();
        o.setProperty(QStringLiteral("filter"), d.filter);
        o.setProperty(QStringLiteral("flags"), d.flags);
        o.setProperty(QStringLiteral("maxFileSize"), d.maxFileSize);
        out.setProperty(i++, o);
    }
    return out;
}

} // namespace tx::host
