#pragma once
#include <QObject>

namespace tx {

// Scriptable members are Q_INVOKABLE methods and Q_PROPERTYs named exactly as the
// type library names them; the shell's dispatch reaches them by name.
class Helper : public QObject {
    Q_OBJECT
public:
    explicit Helper(QObject *parent = nullptr);
};

} // namespace tx
