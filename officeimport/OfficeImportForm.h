#pragma once
// The child controls of the office import form, laid out as the form was
// designed in twips (15 to a pixel); each is found by its objectName.
#include <QRect>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QWidget;

namespace tx {

struct OfficeImportForm {
    explicit OfficeImportForm(QWidget *owner);

    // A rectangle given in twips, in pixels.
    static QRect twips(int left, int top, int width, int height);

    QGroupBox *Frame1 = nullptr;
    QListWidget *List1 = nullptr;
    QPushButton *Command1 = nullptr; // add
    QPushButton *Command2 = nullptr; // delete
    QProgressBar *pbFile = nullptr;  // lies over the add and delete buttons
    QGroupBox *Frame2 = nullptr;
    QCheckBox *Check1 = nullptr;     // automatic paging
    QCheckBox *Check2 = nullptr;     // clean HTML code
    QGroupBox *Frame3 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *txtWidth = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtHeight = nullptr;
    QPushButton *Command3 = nullptr; // start import
    QPushButton *Command4 = nullptr; // cancel
};

} // namespace tx
