#pragma once
#include <QWidget>

namespace tx {

// Scriptable members are Q_INVOKABLE methods and Q_PROPERTYs named exactly as the
// type library names them; the shell's dispatch reaches them by name.
class OfficeImport : public QWidget {
    Q_OBJECT
public:
    explicit OfficeImport(QWidget *parent = nullptr);
};

} // namespace tx
