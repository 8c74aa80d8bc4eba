#pragma once
// The image import's form: every child widget at its place, with its caption,
// its objectName and its state at start-up, and the lists of choices.
#include <QString>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QWidget;

namespace tx::image {

struct ImageImportForm {
    // Builds the form on `owner`.
    explicit ImageImportForm(QWidget *owner);

    QGroupBox *Frame1;
    QListWidget *lstFileList;
    QPushButton *btnAddFile;
    QPushButton *btnDelFile;
    QFrame *Picture1;
    QLabel *imgPreview;
    QLabel *lblImgName;
    QGroupBox *Frame3;
    QRadioButton *opOneC;
    QRadioButton *opOneCPagging;
    QRadioButton *opOnePic;
    QGroupBox *Frame2;
    QLabel *Label6;
    QRadioButton *optNameByPic;
    QRadioButton *optNameBySet;
    QLineEdit *txtTitle;
    QCheckBox *chkSmallPic;
    QLabel *Label3;
    QComboBox *cmbScale;
    QLabel *Label5;
    QLineEdit *txtWidth;
    QLabel *Label8;
    QLabel *Label4;
    QLineEdit *txtHeight;
    QLabel *Label7;
    QCheckBox *chkStamp;
    QLabel *Label1;
    QLineEdit *txtStampText;
    QLabel *Label2;
    QComboBox *cmbColor;
    QLabel *Label12;
    QComboBox *cmbBkcolor;
    QLabel *Label11;
    QComboBox *cmbPosition;
    QListWidget *lstLog;
    QProgressBar *ProgressBar;
    QProgressBar *pbFile;
    QPushButton *btnBegin;
    QPushButton *btnCancel;
};

// The open-file dialog's settings.
inline const QString kPictureFilter = QStringLiteral(
    "All Image File|*.jpg;*.bmp;*.gif|BMP File(*.bmp)|*.bmp|JPG File(*.jpg)|*.jpg|GIF File(*.gif)|*.gif");
inline constexpr int kPictureDialogFlags = 0x81200; // explorer, file must exist, multiple
inline constexpr int kPictureDialogBuffer = 2048;

} // namespace tx::image
