#include "host/automation/AutomationDialogs.h"

#include "core/AutomationError.h"
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

// An array of one object per record, filled by `fill(object, record)`.
template <typename Record, typename Fill>
QJSValue AutomationDialogs::records(const QList<Record> &list, Fill fill) const
{
    QJSValue out = engine().newArray(quint32(list.size()));
    quint32 i = 0;
    for (const Record &r : list) {
        QJSValue o = engine().newObject();
        fill(o, r);
        out.setProperty(i++, o);
    }
    return out;
}

QJSValue AutomationDialogs::messageBoxes() const
{
    return records(ui::messageBoxes(), [](QJSValue &o, const ui::MessageBoxRecord &b) {
        o.setProperty(QStringLiteral("text"), b.text);
        o.setProperty(QStringLiteral("title"), b.title);
        o.setProperty(QStringLiteral("buttons"), ui::buttonsName(b.buttons));
        o.setProperty(QStringLiteral("icon"), ui::iconName(b.icon));
    });
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
    return records(ui::fileDialogs(), [](QJSValue &o, const ui::FileDialogRequest &d) {
        o.setProperty(QStringLiteral("filter"), d.filter);
        o.setProperty(QStringLiteral("flags"), d.flags);
        o.setProperty(QStringLiteral("maxFileSize"), d.maxFileSize);
    });
}

} // namespace tx::host
