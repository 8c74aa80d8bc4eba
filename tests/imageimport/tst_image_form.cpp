// The image import's form: its state at start-up, the availability rules, the
// picture list, the check of the settings, and the members a page calls.
#include "ImageTestSupport.h"
#include "imageimport/ImageImport.h"
#include "imageimport/ImageImportForm.h"
#include "util/PageSeparator.h"
#include "core/AutomationError.h"
#include "platform/Ui.h"
#include "upload/UploadMachinery.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace tx;
using namespace tx::test;

namespace {
const QString kReject = QStringLiteral("为不可识别的图片格式，请选择*.jpg,*.bmp或*.gif文件");
}

class ImageForm : public QObject, ImageFixture {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void startUpState()
    {
        ImageImport fresh;
        image::ImageImportForm &g = fresh.form();
        QCOMPARE(g.txtWidth->text(), "160");
        QVERIFY(g.txtWidth->isEnabled());
        QCOMPARE(g.txtHeight->text(), "120");
        QVERIFY(!g.txtHeight->isEnabled());
        QCOMPARE(g.cmbScale->currentText(), "指定宽度，约束比例");
        QCOMPARE(g.cmbScale->count(), 11);
        for (QComboBox *box : {g.cmbColor, g.cmbBkcolor, g.cmbPosition})
            QVERIFY(!box->isEnabled());
        QCOMPARE(g.cmbColor->currentText(), "红");
        QCOMPARE(g.cmbBkcolor->currentText(), "红");
        QCOMPARE(g.cmbPosition->currentText(), "左上");
        QCOMPARE(g.cmbColor->itemData(6).toInt(), 14078926);
        QCOMPARE(g.cmbPosition->itemData(2).toInt(), 256);
        QVERIFY(g.opOneC->isChecked());
        QVERIFY(g.optNameByPic->isChecked());
        QVERIFY(g.txtTitle->isEnabled());
        QVERIFY(g.chkSmallPic->isChecked());
        QVERIFY(!g.chkStamp->isChecked());
        QVERIFY(!g.btnBegin->isEnabled());
        QVERIFY(!g.btnDelFile->isEnabled());
        QVERIFY(!g.btnCancel->isEnabled());
        QVERIFY(g.btnAddFile->isEnabled());
        QVERIFY(g.ProgressBar->isHidden());
        QVERIFY(g.pbFile->isHidden());
        QCOMPARE(g.lstFileList->selectionMode(), QAbstractItemView::ExtendedSelection);
        // Twips at 15 to the pixel, relative to the frame.
        QCOMPARE(g.lstFileList->geometry(), QRect(8, 16, 405, 148));
        QCOMPARE(g.btnBegin->geometry(), QRect(416, 488, 91, 25));
        QCOMPARE(g.cmbPosition->geometry(), QRect(576, 75, 49, 20));
        QCOMPARE(g.opOneCPagging->parentWidget(), g.Frame3);
        QCOMPARE(fresh.machinery().strUploadPath, "/cms/upload.asp");
        QCOMPARE(fresh.machinery().strPort, "80");
        QCOMPARE(fresh.lngColumnId, 0);
        QVERIFY(fresh.strPostPath.isEmpty());
        for (const char *name : {"Frame1", "lstFileList", "btnAddFile", "btnDelFile", "Picture1", "imgPreview",
                                 "lblImgName", "Frame3", "opOneC", "opOneCPagging", "opOnePic", "Frame2", "Label6",
                                 "optNameByPic", "optNameBySet", "txtTitle", "chkSmallPic", "Label3", "cmbScale",
                                 "Label5", "txtWidth", "Label8", "Label4", "txtHeight", "Label7", "chkStamp", "Label1",
                                 "txtStampText", "Label2", "cmbColor", "Label12", "cmbBkcolor", "Label11",
                                 "cmbPosition", "lstLog", "ProgressBar", "pbFile", "btnBegin", "btnCancel"})
            QVERIFY2(fresh.findChild<QWidget *>(QLatin1String(name)), name);
    }

    void availabilityRules()
    {
        f->cmbScale->setCurrentIndex(0);
        QVERIFY(f->txtWidth->isEnabled() && f->txtHeight->isEnabled());
        f->cmbScale->setCurrentIndex(2);
        QVERIFY(!f->txtWidth->isEnabled() && f->txtHeight->isEnabled());
        f->cmbScale->setCurrentIndex(5);
        QVERIFY(!f->txtWidth->isEnabled() && !f->txtHeight->isEnabled());
        f->cmbScale->setCurrentIndex(1);
        // Unticking and ticking makes both size fields available whatever the mode.
        f->chkSmallPic->click();
        for (QWidget *w : std::initializer_list<QWidget *>{f->cmbScale, f->txtWidth, f->txtHeight, f->Label3,
                                                            f->Label4, f->Label5, f->Label7, f->Label8})
            QVERIFY(!w->isEnabled());
        f->chkSmallPic->click();
        QVERIFY(f->txtWidth->isEnabled() && f->txtHeight->isEnabled() && f->cmbScale->isEnabled());
        f->chkStamp->click();
        for (QWidget *w : std::initializer_list<QWidget *>{f->txtStampText, f->Label1, f->Label2, f->Label11,
                                                            f->Label12, f->cmbColor, f->cmbBkcolor, f->cmbPosition})
            QVERIFY(w->isEnabled());
        f->chkStamp->click();
        QVERIFY(!f->txtStampText->isEnabled() && !f->cmbPosition->isEnabled());
        f->optNameByPic->click();
        QVERIFY(!f->txtTitle->isEnabled());
        f->optNameBySet->click();
        QVERIFY(f->txtTitle->isEnabled());
    }

    void adding_data()
    {
        QTest::addColumn<QStringList>("picked");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("rejected");
        const QString d = dir.path() + '/';
        QTest::newRow("several") << QStringList{d + "a.jpg", d + "B.JPG", d + "c.jpeg", d + "photojpg", d + "e.bmp"}
                                 << QStringList{d + "a.jpg", d + "B.JPG", d + "e.bmp"}
                                 << QStringList{d + "c.jpeg", d + "photojpg"};
        QTest::newRow("one without a dot") << QStringList{d + "photojpg"} << QStringList{d + "photojpg"} << QStringList{};
        QTest::newRow("one jpeg") << QStringList{d + "a.jpeg"} << QStringList{} << QStringList{d + "a.jpeg"};
        QTest::newRow("one in capitals") << QStringList{d + "A.JPG"} << QStringList{d + "A.JPG"} << QStringList{};
        QTest::newRow("root folder") << QStringList{"/r1.jpg", "/r2.gif"} << QStringList{"/r1.jpg", "/r2.gif"}
                                     << QStringList{};
        QTest::newRow("cancelled") << QStringList{} << QStringList{} << QStringList{};
    }
    void adding()
    {
        QFETCH(QStringList, picked);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, rejected);
        pick(picked);
        QCOMPARE(texts(f->lstFileList), listed);
        QCOMPARE(f->btnBegin->isEnabled(), !listed.isEmpty());
        QCOMPARE(f->btnDelFile->isEnabled(), !listed.isEmpty());
        QStringList messages;
        for (const ui::MessageBoxRecord &m : ui::messageBoxes()) {
            messages << m.text;
            QCOMPARE(m.title, ui::defaultTitle());
            QVERIFY(m.buttons == ui::Buttons::OK);
        }
        QStringList expected;
        for (const QString &r : rejected)
            expected << r + kReject;
        QCOMPARE(messages, expected);
        const ui::FileDialogRequest request = ui::fileDialogs().value(0);
        QCOMPARE(request.filter, image::kPictureFilter);
        QCOMPARE(request.filter.size(), 98);
        QCOMPARE(request.flags, 0x81200);
        QCOMPARE(request.maxFileSize, 2048);
        // Several picked: the first entry is selected; one picked: no selection.
        QCOMPARE(f->lstFileList->currentRow(), picked.size() > 1 ? 0 : -1);
    }

    void previewAndRemove()
    {
        const QString a = test::makePicture(dir, "a.jpg");
        const QString bad = test::makeJunk(dir, "bad.jpg");
        const QString c = test::makePicture(dir, "c.bmp", QSize(30, 20));
        pick({a, bad, c});
        QCOMPARE(f->lblImgName->text(), QStringLiteral("a.jpg\r\n800\u3000×\u3000600"));
        QCOMPARE(f->imgPreview->pixmap().size(), QSize(193, 153));
        f->lstFileList->setCurrentRow(1);
        QCOMPARE(f->lblImgName->text(), "bad.jpg");
        QVERIFY(f->imgPreview->pixmap().isNull());
        pick({}); // cancelled: the first entry is selected and previewed again
        QCOMPARE(f->lblImgName->text(), QStringLiteral("a.jpg\r\n800\u3000×\u3000600"));

        f->lstFileList->item(0)->setSelected(true);
        f->lstFileList->item(2)->setSelected(true);
        f->btnDelFile->click();
        QCOMPARE(texts(f->lstFileList), QStringList{bad});
        QVERIFY(f->btnBegin->isEnabled());
        // The previewed entry went, and the one now current is not shown for it.
        QCOMPARE(f->lblImgName->text(), QStringLiteral("a.jpg\r\n800\u3000×\u3000600"));
        QVERIFY(!f->imgPreview->pixmap().isNull());
        QTest::mouseClick(f->lstFileList->viewport(), Qt::LeftButton, {},
                          f->lstFileList->visualItemRect(f->lstFileList->item(0)).center());
        QCOMPARE(f->lblImgName->text(), "bad.jpg"); // a click shows it
        f->lstFileList->item(0)->setSelected(true);
        f->btnDelFile->click();
        QCOMPARE(f->lstFileList->count(), 0);
        QVERIFY(!f->btnDelFile->isEnabled() && !f->btnBegin->isEnabled());
        QVERIFY(!f->lblImgName->text().isEmpty()); // the preview stays
    }

    void toolTips()
    {
        ctl->show();
        QVERIFY(QTest::qWaitForWindowExposed(ctl.get()));
        pick({"/p/one.jpg", "/p/two.jpg"});
        QWidget *viewport = f->lstFileList->viewport();
        auto moveTo = [viewport](QPoint p) {
            QMouseEvent move(QEvent::MouseMove, p, viewport->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QCoreApplication::sendEvent(viewport, &move);
        };
        const QRect second = f->lstFileList->visualItemRect(f->lstFileList->item(1));
        moveTo(second.center());
        QCOMPARE(f->lstFileList->toolTip(), "/p/two.jpg");
        moveTo(QPoint(second.center().x(), second.bottom() + 20)); // below the last entry
        QVERIFY(f->lstFileList->toolTip().isEmpty());
    }

    void validation_data()
    {
        QTest::addColumn<int>("scale");
        QTest::addColumn<bool>("thumbnails");
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("stamp"); // null: no watermark
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("width letter O") << 0 << true << "16O" << "120" << QString() << "请输入半角数字" << "txtWidth";
        QTest::newRow("height empty") << 0 << true << "160" << "" << QString() << "请输入半角数字" << "txtHeight";
        QTest::newRow("thumbnails off") << 0 << false << "16O" << "x" << QString() << "" << "";
        QTest::newRow("mode 1 not tested") << 1 << true << "16O" << "x" << QString() << "" << "";
        QTest::newRow("blank watermark") << 1 << true << "160" << "" << "  " << "请输入水印文字" << "txtStampText";
        QTest::newRow("watermark given") << 1 << true << "160" << "" << " w " << "" << "";
    }
    void validation()
    {
        QFETCH(int, scale);
        QFETCH(bool, thumbnails);
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(QString, stamp);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        f->cmbScale->setCurrentIndex(scale);
        f->chkSmallPic->setChecked(thumbnails);
        f->txtWidth->setText(width);
        f->txtHeight->setText(height);
        if (!stamp.isNull()) {
            f->chkStamp->setChecked(true);
            f->txtStampText->setText(stamp);
        }
        QCOMPARE(ctl->ValidateSettings(), message.isEmpty());
        if (message.isEmpty()) {
            QVERIFY(ui::messageBoxes().isEmpty());
            return;
        }
        QCOMPARE(ui::messageBoxes().value(0).text, message);
        QCOMPARE(ui::messageBoxes().value(0).title, "导入图片");
        QCOMPARE(ctl->focusWidget()->objectName(), focus);
        if (focus != u"txtStampText")
            QCOMPARE(qobject_cast<QLineEdit *>(ctl->focusWidget())->selectedText(), focus == u"txtWidth" ? width : height);
    }

    void pageCalls()
    {
        const QString a = test::makePicture(dir, "a.jpg");
        ctl->addFormData("own", "value");
        ctl->StartUpload(a);
        QCOMPARE(server->requests.size(), 1);
        QCOMPARE(server->requests[0].parts().size(), 2);
        QCOMPARE(server->requests[0].field("own"), "value");
        QCOMPARE(ctl->strAnswer(), "<img alt=Click src=a.jpg>");
        QCOMPARE(ctl->strPostPath, "/cms/article.asp");
        QCOMPARE(ctl->strIssueId, "3");

        try {
            ctl->StartUpload(dir.filePath("missing.jpg"));
            QFAIL("a missing file uploaded");
        } catch (const AutomationError &e) {
            QCOMPARE(e.number, int(ErrFileNotFound));
        }
        try {
            ctl->Init("ftp://h/x", "http://h/post.asp", "/other/", 1, "u", "w", 0, 1);
            QFAIL("an ftp URL accepted");
        } catch (const AutomationError &e) {
            QCOMPARE(e.number, kErrBadUrl);
            QCOMPARE(e.description, "错误的URL");
        }
        QCOMPARE(ctl->strPostPath, "/post.asp"); // the steps before the failing one are done
        QCOMPARE(ctl->machinery().strHost, "h");
        ctl->Init(server->url("/up.asp"), "http://h/p.asp", "/x/", 2, "u", "mark", 0, 1);
        QCOMPARE(f->txtStampText->text(), "mark");
        QVERIFY(!f->txtStampText->isEnabled());
        QCOMPARE(ctl->strObjectType, "1");
    }
};

QTEST_MAIN(ImageForm)
#include "tst_image_form.moc"
