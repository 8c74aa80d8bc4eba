// The image import control against the loopback server: its form, the file list,
// the checks before a batch, and whole batches in the three article modes.
#include "ImageTestSupport.h"
#include "imageimport/ImageImport.h"
#include "imageimport/ImageImportForm.h"
#include "officeimport/PageSeparator.h"
#include "platform/AutomationError.h"
#include "platform/Ui.h"
#include "support/TestHttpServer.h"
#include "upload/UploadMachinery.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace tx;
using tx::test::ReceivedRequest;
using tx::test::TestHttpServer;

namespace {

const QString kReject = QStringLiteral("为不可识别的图片格式，请选择*.jpg,*.bmp或*.gif文件");
const QString kFailHead = QStringLiteral("系统错误，操作被强行终止，错误描述：");

bool isPost(const ReceivedRequest &r) { return r.requestLine().contains("/cms/article.asp"); }

// The package puts its file parts ahead of its fields.
test::MultipartPart filePart(const ReceivedRequest &r)
{
    for (const test::MultipartPart &p : r.parts())
        if (!p.filename.isEmpty())
            return p;
    return {};
}

QByteArrayList fieldNames(const ReceivedRequest &r)
{
    QByteArrayList names;
    for (const test::MultipartPart &p : r.parts())
        if (p.filename.isEmpty())
            names << p.name;
    return names;
}

QStringList texts(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

} // namespace

class ImageControl : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<TestHttpServer> server;
    std::unique_ptr<ImageImport> ctl;
    image::ImageImportForm *f = nullptr;

    void initAgainst(quint16 port)
    {
        ctl->Init(QStringLiteral("http://127.0.0.1:%1/cms/upload.asp").arg(port),
                  QStringLiteral("http://elsewhere.example:81/cms/article.asp"), QStringLiteral("/pics/"), 7,
                  QStringLiteral("editor"), QString(), 3, 1);
    }
    void pick(const QStringList &paths)
    {
        ui::queueFileDialogAnswers({paths});
        f->btnAddFile->click();
    }
    void runBatch(const QString &confirm = QStringLiteral("Yes"))
    {
        ui::queueMessageBoxAnswers({confirm});
        f->btnBegin->click();
    }
    QList<ReceivedRequest> posts() const
    {
        QList<ReceivedRequest> out;
        for (const ReceivedRequest &r : server->requests)
            if (isPost(r))
                out << r;
        return out;
    }
    void checkRestored(bool listFull)
    {
        QVERIFY(f->btnAddFile->isEnabled());
        QVERIFY(f->btnDelFile->isEnabled());
        QCOMPARE(f->btnBegin->isEnabled(), listFull);
        QVERIFY(!f->btnCancel->isEnabled());
        QVERIFY(f->ProgressBar->isHidden());
        QVERIFY(f->pbFile->isHidden());
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void init()
    {
        ui::reset();
        server = std::make_unique<TestHttpServer>();
        // Pictures answer a fragment naming the file; articles answer "posted".
        server->setAnswerFor([](int, const ReceivedRequest &r) {
            if (isPost(r))
                return TestHttpServer::okResponse("posted");
            return TestHttpServer::okResponse("<img alt=Click src=" + filePart(r).name + ">");
        });
        ctl = std::make_unique<ImageImport>();
        f = &ctl->form();
        initAgainst(server->port());
    }
    void cleanup()
    {
        ctl.reset();
        server.reset();
    }

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

    void declinedOrFailedCheck()
    {
        const QString a = test::makePicture(dir, "a.jpg");
        pick({a});
        ctl->log("earlier");
        runBatch("No");
        QCOMPARE(ui::messageBoxes().value(0).text, "是否确认要进行上传操作？");
        QCOMPARE(ui::messageBoxes().value(0).title, "图片导入");
        QVERIFY(ui::messageBoxes().value(0).buttons == ui::Buttons::YesNo);
        QCOMPARE(texts(f->lstLog), QStringList{"earlier"});
        QCOMPARE(texts(f->lstFileList), QStringList{a});
        checkRestored(true);

        f->cmbScale->setCurrentIndex(0);
        f->txtWidth->setText("16O");
        runBatch();
        QCOMPARE(ui::messageBoxes().value(2).text, "请输入半角数字");
        QVERIFY(texts(f->lstLog).isEmpty()); // cleared once confirmed
        QCOMPARE(texts(f->lstFileList), QStringList{a});
        QVERIFY(server->requests.isEmpty());
        checkRestored(true);
    }

    void pictureFields()
    {
        const QString a = test::makePicture(dir, "a.jpg");
        pick({a});
        f->cmbScale->setCurrentIndex(0);
        f->txtWidth->setText("100");
        f->txtHeight->setText("50");
        f->chkStamp->setChecked(true);
        f->txtStampText->setText("水印");
        f->cmbPosition->setCurrentIndex(1);
        f->cmbColor->setCurrentIndex(2);
        f->cmbBkcolor->setCurrentIndex(6);
        runBatch();
        QCOMPARE(server->requests.size(), 2);
        const ReceivedRequest &up = server->requests[0];
        QVERIFY(up.requestLine().startsWith("POST /cms/upload.asp "));
        QCOMPARE(fieldNames(up), (QByteArrayList{"curpath", "contentid", "Thumbnail", "bili", "ThumbnailWidth",
                                                 "ThumbnailHeight", "ThumbnailAlt", "ThumbnailTarget", "WaterMark",
                                                 "WMText", "WMPosition", "wmColor", "wmBkColor"}));
        QCOMPARE(filePart(up).name, "a.jpg");
        QCOMPARE(up.field("curpath"), "/pics/");
        QCOMPARE(up.field("ThumbnailWidth"), "100");
        QCOMPARE(up.field("ThumbnailHeight"), "50");
        QCOMPARE(up.field("WMText"), QStringLiteral("水印").toUtf8());
        QCOMPARE(up.field("WMPosition"), "16");
        QCOMPARE(up.field("wmColor"), "16776960");
        QCOMPARE(up.field("wmBkColor"), "14078926");
        QVERIFY(filePart(up).filename.endsWith("a.jpg"));

        pick({a});
        f->chkSmallPic->setChecked(false);
        f->chkStamp->setChecked(false);
        runBatch();
        QCOMPARE(fieldNames(server->requests[2]), (QByteArrayList{"curpath", "contentid", "Thumbnail", "WaterMark"}));
        QCOMPARE(server->requests[2].field("Thumbnail"), "No");
        QCOMPARE(server->requests[2].field("WaterMark"), "No");
    }

    void thumbnailSizes_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<int>("scale");
        QTest::addColumn<QByteArray>("width");
        QTest::addColumn<QByteArray>("height");
        QTest::newRow("height kept") << QSize(800, 600) << 2 << QByteArray("160") << QByteArray("120");
        QTest::newRow("width kept") << QSize(800, 600) << 1 << QByteArray("160") << QByteArray("120");
        QTest::newRow("25%") << QSize(800, 600) << 8 << QByteArray("200") << QByteArray("150");
        QTest::newRow("3x3 at 10%") << QSize(3, 3) << 10 << QByteArray("0") << QByteArray("0");
    }
    void thumbnailSizes()
    {
        QFETCH(QSize, picture);
        QFETCH(int, scale);
        QFETCH(QByteArray, width);
        QFETCH(QByteArray, height);
        pick({test::makePicture(dir, "t.bmp", picture)});
        f->cmbScale->setCurrentIndex(scale);
        runBatch();
        QCOMPARE(server->requests.value(0).field("ThumbnailWidth"), width);
        QCOMPARE(server->requests.value(0).field("ThumbnailHeight"), height);
    }

    void articleModes_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QStringList>("contents");
        const QString sep = PAGE_SEPARATOR;
        const QString fa = "<img alt=点击看大图 src=a.jpg>";
        const QString fb = "<img alt=点击看大图 src=b.gif>";
        QTest::newRow("one per picture") << "opOnePic" << QStringList{"a", "b"} << QStringList{fa + sep, fb + sep};
        QTest::newRow("one, paged") << "opOneCPagging" << QStringList{"b"} << QStringList{fa + sep + fb + sep};
        QTest::newRow("one, captioned")
            << "opOneC" << QStringList{"b"}
            << QStringList{"<p align=center>" + fa + "</p><P align=center>a</P><p align=center>" + fb
                           + "</p><P align=center>b</P>" + sep};
    }
    void articleModes()
    {
        QFETCH(QString, mode);
        QFETCH(QStringList, titles);
        QFETCH(QStringList, contents);
        pick({test::makePicture(dir, "a.jpg"), test::makePicture(dir, "b.gif")});
        ctl->findChild<QRadioButton *>(mode)->setChecked(true);
        runBatch();
        QStringList gotTitles, gotContents;
        for (const ReceivedRequest &p : posts()) {
            gotTitles << QString::fromUtf8(p.field("title"));
            gotContents << QString::fromUtf8(p.field("content"));
            QVERIFY(filePart(p).name.isEmpty());
            QCOMPARE(fieldNames(p), (QByteArrayList{"columnid", "issueid", "objecttype", "title", "content", "author"}));
            QCOMPARE(p.field("columnid"), "7");
            QCOMPARE(p.field("issueid"), "3");
            QCOMPARE(p.field("objecttype"), "1");
            QCOMPARE(p.field("author"), "editor");
        }
        QCOMPARE(gotTitles, titles);
        QCOMPARE(gotContents, contents);
        QCOMPARE(f->lstFileList->count(), 0);
        QVERIFY(f->lstLog->count() == 0);
        checkRestored(false);
    }

    void titlesByName()
    {
        QStringList paths;
        for (const char *name : {"sea.jpg", "x.jpg.jpg", "ab.jpgcd.jpg", "Sea.JPG"})
            paths << test::makePicture(dir, name);
        pick(paths);
        f->opOnePic->setChecked(true);
        runBatch();
        QStringList titles;
        for (const ReceivedRequest &p : posts())
            titles << QString::fromUtf8(p.field("title"));
        QCOMPARE(titles, (QStringList{"sea", "x", "abcd", "Sea"}));

        pick({paths[0]});
        f->optNameBySet->setChecked(true);
        f->txtTitle->setText(" set ");
        runBatch();
        QCOMPARE(posts().last().field("title"), " set ");
    }

    void cancelDuringFirstPicture_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("paged") << "opOneCPagging";
        QTest::newRow("captioned") << "opOneC";
    }
    void cancelDuringFirstPicture()
    {
        QFETCH(QString, mode);
        pick({test::makePicture(dir, "a.jpg"), test::makePicture(dir, "b.jpg"), test::makePicture(dir, "c.jpg")});
        ctl->findChild<QRadioButton *>(mode)->setChecked(true);
        // Pressed at the first pump of the batch, while the first picture is sent.
        QTimer::singleShot(0, f->btnCancel, &QPushButton::click);
        runBatch();
        QVERIFY(!ctl->bRunning);
        QCOMPARE(server->requests.size(), 2);
        QCOMPARE(posts().size(), 1);
        const QString content = QString::fromUtf8(posts()[0].field("content"));
        QVERIFY(content.contains("src=a.jpg"));
        QVERIFY(!content.contains("src=b.jpg"));
        QCOMPARE(f->lstFileList->count(), 0);
        checkRestored(false);
    }

    void errorAnswers_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("500") << QByteArray("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 2\r\n\r\nno");
        QTest::newRow("404") << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nno");
    }
    void errorAnswers()
    {
        QFETCH(QByteArray, answer);
        server->setAnswerFor([answer](int i, const ReceivedRequest &r) {
            if (i == 0)
                return answer;
            if (isPost(r))
                return TestHttpServer::okResponse("posted");
            return TestHttpServer::okResponse("<img src=" + filePart(r).name + ">");
        });
        pick({test::makePicture(dir, "a.jpg"), test::makePicture(dir, "b.jpg")});
        f->opOnePic->setChecked(true);
        runBatch();
        QCOMPARE(texts(f->lstLog), QStringList{"传输遇到错误：" + QString::fromLatin1(answer)});
        QCOMPARE(QString::fromUtf8(posts().value(0).field("content")), "Error" + PAGE_SEPARATOR);
        QCOMPARE(QString::fromUtf8(posts().value(1).field("content")), "<img src=b.jpg>" + PAGE_SEPARATOR);
    }

    void noAnswer_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<QString>("line");
        QTest::newRow("time-out") << true << "传输遇到错误：服务器没有应答";
        QTest::newRow("no connection") << false << "传输遇到错误：无法连接到服务器";
    }
    void noAnswer()
    {
        QFETCH(bool, listening);
        QFETCH(QString, line);
        server->setAnswerFor([](int i, const ReceivedRequest &) {
            return i == 0 ? QByteArray() : TestHttpServer::okResponse("posted");
        });
        if (!listening)
            initAgainst(test::closedPort());
        ctl->machinery().answer = "stale fragment";
        pick({test::makePicture(dir, "a.jpg")});
        f->opOnePic->setChecked(true);
        runBatch();
        // Only the picture logs; a post that got no answer says nothing.
        QCOMPARE(texts(f->lstLog), QStringList{line});
        if (listening)
            QCOMPARE(QString::fromUtf8(posts().value(0).field("content")), "Error" + PAGE_SEPARATOR);
        else
            QCOMPARE(ctl->strAnswer(), "Error");
        checkRestored(false);
    }

    void failureEndsBatch()
    {
        const QString a = test::makePicture(dir, "a.jpg");
        const QString bad = test::makeJunk(dir, "bad.jpg");
        const QString gone = dir.filePath("gone.jpg");
        pick({a, bad, gone});
        f->opOnePic->setChecked(true);
        runBatch();
        QCOMPARE(texts(f->lstLog), (QStringList{kFailHead, "(481)[Tessarix5]Invalid picture: " + bad + ";"}));
        QCOMPARE(server->requests.size(), 2); // the first picture and its article
        QCOMPARE(texts(f->lstFileList), (QStringList{a, bad, gone}));
        checkRestored(true);

        delete f->lstFileList->takeItem(1);
        delete f->lstFileList->takeItem(0);
        runBatch();
        QCOMPARE(texts(f->lstLog), (QStringList{kFailHead, "(53)[Tessarix5]File not found: " + gone + ";"}));

        f->lstFileList->clear();
        pick({a});
        f->cmbScale->setCurrentIndex(2);
        f->txtHeight->setText("12x");
        runBatch();
        QCOMPARE(texts(f->lstLog).value(1), "(13)[Tessarix5]Type mismatch: \"12x\";");
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

QTEST_MAIN(ImageControl)
#include "tst_image_control.moc"
