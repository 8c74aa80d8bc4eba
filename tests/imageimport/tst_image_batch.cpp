// Whole batches against the loopback server: the fields of each request, the
// three article modes, cancel, error answers, no answer, and failures.
#include "ImageTestSupport.h"
#include "imageimport/ImageImport.h"
#include "imageimport/ImageImportForm.h"
#include "util/PageSeparator.h"
#include "core/AutomationError.h"
#include "platform/TcpClient.h"
#include "platform/Ui.h"
#include "upload/UploadMachinery.h"

#include <QCheckBox>
#include <QFile>
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
const QString kFailHead = QStringLiteral("系统错误，操作被强行终止，错误描述：");
}

class ImageBatchTest : public QObject, ImageFixture {
    Q_OBJECT

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
    void init() { setUp(); }
    void cleanup() { tearDown(); }

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
        f->txtWidth->setText("16O"); // not read without thumbnails
        runBatch();
        QCOMPARE(fieldNames(server->requests[2]), (QByteArrayList{"curpath", "contentid", "Thumbnail", "WaterMark"}));
        QCOMPARE(server->requests[2].field("Thumbnail"), "No");
        QCOMPARE(server->requests[2].field("WaterMark"), "No");
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
        QTest::newRow("302") << QByteArray("HTTP/1.1 302 Found\r\nLocation: /login.asp\r\nContent-Length: 0\r\n\r\n");
        QTest::newRow("413") << QByteArray("HTTP/1.1 413 Request Entity Too Large\r\nContent-Length: 3\r\n\r\nbig");
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
        QTest::addColumn<QByteArray>("answer"); // null: silence
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("mode");
        QTest::newRow("time-out") << true << QByteArray() << "传输遇到错误：服务器没有应答" << "opOnePic";
        QTest::newRow("closed without an answer") << true << QByteArray("") << "传输遇到错误：连接被关闭，没有应答"
                                                  << "opOnePic";
        QTest::newRow("no connection") << false << QByteArray() << "传输遇到错误：无法连接到服务器" << "opOnePic";
        QTest::newRow("time-out, one article") << true << QByteArray() << "传输遇到错误：服务器没有应答"
                                               << "opOneCPagging";
    }
    void noAnswer()
    {
        QFETCH(bool, listening);
        QFETCH(QByteArray, answer);
        QFETCH(QString, line);
        QFETCH(QString, mode);
        server->setAnswerFor([answer](int i, const ReceivedRequest &) {
            return i == 0 ? answer : TestHttpServer::okResponse("posted");
        });
        if (!listening)
            initAgainst(test::closedPort());
        ctl->machinery().answer = "stale fragment";
        pick({test::makePicture(dir, "a.jpg")});
        ctl->findChild<QRadioButton *>(mode)->setChecked(true);
        runBatch();
        // Only the picture logs; a picture that never reached the server is not
        // in any article ("Error" stands for what the server refused), and an
        // article without pictures is not posted.
        QCOMPARE(texts(f->lstLog), QStringList{line});
        QCOMPARE(posts().size(), 0);
        QCOMPARE(ctl->strAnswer(), "Error");
        checkRestored(false);
    }

    void fileChangedWhileSent()
    {
        const QString big = dir.filePath("big.bmp");
        {
            QFile f(big);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(16 << 20));
        }
        bool cut = false;
        connect(ctl->machinery().Winsock1, &TcpClient::SendProgress, this, [&] {
            if (!cut)
                cut = QFile::resize(big, 1000);
        });
        ctl->machinery().answer = "stale fragment";
        ctl->StartUpload(big);
        QVERIFY(cut);
        QCOMPARE(texts(f->lstLog), QStringList{"传输遇到错误：文件在上传过程中被修改"});
        QCOMPARE(ctl->strAnswer(), "Error");
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

};

QTEST_MAIN(ImageBatchTest)
#include "tst_image_batch.moc"
