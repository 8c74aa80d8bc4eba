#pragma once
// A page's handle on one child widget of a control. Reading a property that does
// not apply to the widget's kind gives undefined; an action the widget cannot
// take, or a widget that is gone, is an automation error.
#include <QJSValue>
#include <QObject>
#include <QPointer>
#include <QVariant>

class QWidget;

namespace tx::host {

class DispatchBridge;

class ChildHandle : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariant enabled READ enabled)
    Q_PROPERTY(QVariant visible READ visible)
    Q_PROPERTY(QVariant text READ text)
    Q_PROPERTY(QVariant checked READ checked)
    Q_PROPERTY(QVariant currentIndex READ currentIndex)
    Q_PROPERTY(QVariant items READ items)
    Q_PROPERTY(QVariant selectedIndexes READ selectedIndexes)
    Q_PROPERTY(QVariant value READ value)
    Q_PROPERTY(QVariant toolTip READ toolTip)
    Q_PROPERTY(QVariant focused READ focused)
    Q_PROPERTY(QVariant selectedText READ selectedText)
    Q_PROPERTY(QVariant geometry READ geometry)
    Q_PROPERTY(QString name READ name)
public:
    // `object` is the page's object whose control holds the widget.
    ChildHandle(QWidget *widget, DispatchBridge *object);

    QVariant enabled() const;
    QVariant visible() const;
    QVariant text() const;
    QVariant checked() const;
    QVariant currentIndex() const;
    QVariant items() const;
    QVariant selectedIndexes() const;
    QVariant value() const;
    QVariant toolTip() const;
    QVariant focused() const;
    QVariant selectedText() const;
    QVariant geometry() const;
    QString name() const { return objectName; }

    // Each returns when the handlers that the person's action fires have returned.
    Q_INVOKABLE void click();
    Q_INVOKABLE void setText(const QString &text);
    Q_INVOKABLE void setChecked(bool on);
    Q_INVOKABLE void select(int index);
    Q_INVOKABLE void setSelected(const QJSValue &indexes);
    Q_INVOKABLE void hover(int index);

private:
    QWidget *live() const; // nullptr (and a script error) once the widget is gone
    void act(const std::function<void(QWidget *)> &action);

    QPointer<QWidget> widget;
    QPointer<DispatchBridge> object;
    QString objectName;
};

} // namespace tx::host
