// The office import form: the file list (dialog, drop, delete, tool tip) and the
// import loop with its marks, cancel, errors and refused second start.
#include "ImportFixture.h"
#include "officeimport/ImportLoop.h"
#include "util/PageSeparator.h"
#include "platform/Ui.h"
#include "office/FakeOffice.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

using namespace tx;
using namespace tx::test;
using office::FakeOffice;
using office::FakePage;

namespace {

FakeOffice &fake()
{
    return FakeOffice::instance();
}

QStringList lines(const OfficeImport &c)
{
    QStringList out;
    for (int i = 0; i < c.form().List1->count(); ++i)
        out << c.form().List1->item(i)->text();
    return out;
}

const QString kDone = QStringLiteral("......完成");

// Drags `data` over the list and drops it; returns the action the drag was given.
Qt::DropAction dropOnList(OfficeImport &c, QMimeData *data)
{
    QWidget *target = c.form().List1->viewport();
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    const Qt::DropAction action = enter.isAccepted() ? enter.dropAction() : Qt::IgnoreAction;
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return action;
}

QMimeData *files(const QStringList &paths)
{
    auto *m = new QMimeData;
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls << QUrl::fromLocalFile(p);
    m->setUrls(urls);
    return m;
}

} // namespace

class LoopTest : public QObject {
    Q_OBJECT
private slots:
    void init() { ui::reset(); }
    void dialogAddsFullPaths();
    void listKeepsOneTrimmedLine();
    void dropAcceptsOnlyFiles();
    void deleteRemovesSelected();
    void toolTipShowsLineUnderPointer();
    void optionChecks_data();
    void optionChecks();
    void importsInListOrder();
    void secondStartSkipsDoneLines();
    void cancelDuringSecondOfThree();
    void converterErrorGoesOn_data();
    void converterErrorGoesOn();
    void busyLinesAreRetried();
    void startWhileLoopRunsDoesNothing();
};

void LoopTest::dialogAddsFullPaths()
{
    ImportFixture f;
    ui::queueFileDialogAnswers({{QStringLiteral("/d/a.doc"), QStringLiteral("/d/b.xls")}, {}});
    f.control->form().Command1->click();
    f.control->form().Command1->click(); // cancelled: nothing changes
    QCOMPARE(lines(*f.control), (QStringList{"/d/a.doc", "/d/b.xls"}));
    const QList<ui::FileDialogRequest> asked = ui::fileDialogs();
    QCOMPARE(asked.size(), 2);
    QCOMPARE(asked[0].filter,
             QStringLiteral("所有Office文档(*.doc;*.xls;*.ppt;*.txt;*.docx;*.xlsx;*.pptx)|*.doc;*.xls;*.ppt;*.txt;"
                            "*.docx;*.xlsx;*.pptx|Word文档(*.doc;*.docx)|*.doc;*.docx|Excel文档(*.xls;*.xlsx)|"
                            "*.xls;*.xlsx|PowerPoint文档(*.ppt;*.pptx)|*.ppt;*.pptx|纯文本文件(*.txt)|*.txt"));
    QCOMPARE(asked[0].flags, 524800);
    QCOMPARE(asked[0].maxFileSize, 4096);
}

void LoopTest::listKeepsOneTrimmedLine()
{
    ImportFixture f;
    ui::queueFileDialogAnswers({{QStringLiteral("/d/a.doc")}});
    f.control->form().Command1->click();
    dropOnList(*f.control, files({QStringLiteral("/d/a.doc"), QStringLiteral("/d/A.doc")}));
    ImportLoop &loop = f.control->importLoop();
    loop.AddFileToList(QStringLiteral("  /d/c.txt  "));
    loop.AddFileToList(QStringLiteral("/d/c.txt"));
    loop.AddFileToList(QString());
    QCOMPARE(lines(*f.control), (QStringList{"/d/a.doc", "/d/A.doc", "/d/c.txt"}));
}

void LoopTest::dropAcceptsOnlyFiles()
{
    ImportFixture f;
    QCOMPARE(dropOnList(*f.control, files({QStringLiteral("/d/x.ppt")})), Qt::CopyAction);
    auto *text = new QMimeData;
    text->setText(QStringLiteral("/d/y.ppt"));
    QCOMPARE(dropOnList(*f.control, text), Qt::IgnoreAction);
    QCOMPARE(lines(*f.control), QStringList{"/d/x.ppt"});
}

void LoopTest::deleteRemovesSelected()
{
    ImportFixture f;
    for (const char *p : {"/a.doc", "/b.doc", "/c.doc", "/d.doc"})
        f.control->importLoop().AddFileToList(QString::fromLatin1(p));
    QListWidget *list = f.control->form().List1;
    list->item(1)->setSelected(true);
    list->item(3)->setSelected(true);
    f.control->form().Command2->click();
    QCOMPARE(lines(*f.control), (QStringList{"/a.doc", "/c.doc"}));
}

void LoopTest::toolTipShowsLineUnderPointer()
{
    ImportFixture f;
    const QString longPath = QStringLiteral("/very/long/folder/name/that/does/not/fit/in/the/list/report.docx");
    f.control->importLoop().AddFileToList(QStringLiteral("/a.doc"));
    f.control->importLoop().AddFileToList(longPath);
    f.control->show();
    QListWidget *list = f.control->form().List1;
    QTest::mouseMove(list->viewport(), list->visualItemRect(list->item(1)).center());
    QCOMPARE(list->toolTip(), longPath);
    QTest::mouseMove(list->viewport(), list->visualItemRect(list->item(0)).center());
    QCOMPARE(list->toolTip(), QStringLiteral("/a.doc"));
    QTest::mouseMove(list->viewport(), QPoint(5, list->viewport()->height() - 2));
    QCOMPARE(list->toolTip(), QString());
}

void LoopTest::optionChecks_data()
{
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<QString>("message");
    QTest::newRow("width abc") << "abc" << "600" << "图片宽度必须为一数值！";
    QTest::newRow("both abc: height first") << "abc" << "abc" << "图片高度必须为一数值！";
    QTest::newRow("empty height") << "800" << "" << "图片高度必须为一数值！";
    QTest::newRow("numbers with spaces") << " 640 " << "4.8e2" << "";
}

void LoopTest::optionChecks()
{
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(QString, message);
    ImportFixture f;
    f.control->importLoop().AddFileToList(QStringLiteral("/n.unknown"));
    f.control->form().txtWidth->setText(width);
    f.control->form().txtHeight->setText(height);
    f.control->form().Command3->click();
    const QList<ui::MessageBoxRecord> boxes = ui::messageBoxes();
    if (message.isEmpty()) {
        QCOMPARE(boxes.size(), 0);
        QCOMPARE(lines(*f.control), QStringList{"/n.unknown" + kDone});
        return;
    }
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, message);
    QCOMPARE(boxes[0].buttons, ui::Buttons::OK);
    QCOMPARE(boxes[0].title, ui::defaultTitle());
    QCOMPARE(lines(*f.control), QStringList{"/n.unknown"});
    QVERIFY(f.control->form().Command3->isEnabled());
}

void LoopTest::importsInListOrder()
{
    ImportFixture f;
    fake().addWordDocument(QStringLiteral("/d/report.DOC"), {{FakePage{QStringLiteral("<p>r</p>"), {}}}});
    fake().addWorkbook(QStringLiteral("/d/sheet.xlsx"),
                       {{office::FakeSheet{QStringLiteral("S"), FakePage{QStringLiteral("<p>s</p>"), {}}}}});
    const QString txt = f.writeFile(QStringLiteral("notes.txt"), "Notes\r\nme\r\nthe body text\r\n");
    // A path that itself holds "完成" is a path like any other.
    const QString done = f.writeFile(QStringLiteral("完成.txt"), "Done too\r\n");
    for (const QString &p : {QStringLiteral("/d/report.DOC"), QStringLiteral("/d/sheet.xlsx"), txt, done,
                             QStringLiteral("/d/readme.md")})
        f.control->importLoop().AddFileToList(p);
    f.control->form().Check1->setChecked(true);

    QList<bool> importing;
    f.server.setAnswerFor([&](int, const ReceivedRequest &) {
        const OfficeImportForm &ui = f.control->form();
        importing << (ui.Command1->isHidden() && ui.Command2->isHidden() && !ui.pbFile->isHidden()
                      && !ui.Command3->isEnabled() && ui.Command4->isEnabled() && !ui.txtWidth->isEnabled()
                      && !ui.txtHeight->isEnabled() && !ui.Check1->isEnabled() && !ui.Check2->isEnabled());
        return TestHttpServer::okResponse("ok");
    });
    f.control->form().Command3->click();

    const QList<PostedArticle> posted = f.articles();
    QCOMPARE(posted.size(), 4);
    QCOMPARE(posted[0].title, QStringLiteral("report"));
    QCOMPARE(posted[1].title, QStringLiteral("S"));
    QCOMPARE(posted[2].title, QStringLiteral("Notes"));
    QCOMPARE(posted[3].title, QStringLiteral("Done too"));
    QCOMPARE(posted[0].columnid, QStringLiteral("7"));
    QCOMPARE(posted[0].author, QStringLiteral("editor"));
    QVERIFY(fake().callStrings().contains(QStringLiteral("Document 1.Repaginate()"))); // paging ticked
    QCOMPARE(importing, (QList<bool>{true, true, true, true}));
    QCOMPARE(lines(*f.control), (QStringList{"/d/report.DOC" + kDone, "/d/sheet.xlsx" + kDone, txt + kDone,
                                             done + kDone, "/d/readme.md" + kDone}));
    // Added again by its path, a done line is not added twice.
    f.control->importLoop().AddFileToList(done);
    QCOMPARE(lines(*f.control).size(), 5);
    const OfficeImportForm &ui = f.control->form();
    QVERIFY(!ui.Command1->isHidden() && ui.pbFile->isHidden() && ui.Command3->isEnabled() && !ui.Command4->isEnabled()
            && ui.txtWidth->isEnabled() && ui.Check1->isEnabled());
    QVERIFY(f.control->bAutoPaging);
    QVERIFY(!f.control->bRunning || !f.control->importLoop().active());
}

void LoopTest::secondStartSkipsDoneLines()
{
    ImportFixture f;
    const QString txt = f.writeFile(QStringLiteral("a.txt"), "x\r\n");
    f.control->importLoop().AddFileToList(txt);
    f.control->form().Command3->click();
    QCOMPARE(f.server.requests.size(), 1);
    f.control->form().Command3->click();
    QCOMPARE(f.server.requests.size(), 1);
    QCOMPARE(lines(*f.control), QStringList{txt + kDone});
    QVERIFY(f.control->form().Command3->isEnabled());
}

void LoopTest::cancelDuringSecondOfThree()
{
    ImportFixture f;
    QStringList paths;
    for (const char *n : {"1.txt", "2.txt", "3.txt"}) {
        paths << f.writeFile(QString::fromLatin1(n), "text\r\n");
        f.control->importLoop().AddFileToList(paths.last());
    }
    bool buttonsBack = false;
    f.server.setAnswerFor([&](int index, const ReceivedRequest &) {
        if (index == 1) {
            f.control->form().Command4->click();
            const OfficeImportForm &ui = f.control->form();
            // Cancel restores the buttons at once; the loop restores the rest later.
            buttonsBack = !ui.Command1->isHidden() && ui.pbFile->isHidden() && ui.Command3->isEnabled()
                && !ui.Command4->isEnabled() && !ui.txtWidth->isEnabled();
        }
        return TestHttpServer::okResponse("ok");
    });
    f.control->form().Command3->click();
    QVERIFY(buttonsBack);
    QCOMPARE(f.server.requests.size(), 2);
    QCOMPARE(lines(*f.control), (QStringList{paths[0] + kDone, paths[1] + kDone, paths[2]}));
    QVERIFY(!f.control->bRunning);
    QVERIFY(f.control->form().txtWidth->isEnabled());
}

// A file that fails keeps no mark: the error is shown, the loop goes on, and the
// next start imports it.
void LoopTest::converterErrorGoesOn_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("message");
    QTest::newRow("office error") << "office" << runtimeError(ErrAutomation).description + ": the document is damaged";
    QTest::newRow("post refused") << "refused" << "文章提交失败：HTTP/1.1 500 Internal Server Error";
    QTest::newRow("post unanswered") << "silent" << "文章提交失败：服务器没有应答";
    QTest::newRow("picture refused") << "picture" << "图片上传失败：p.png（HTTP/1.1 500 Internal Server Error）";
}

void LoopTest::converterErrorGoesOn()
{
    QFETCH(QString, failure);
    QFETCH(QString, message);
    ImportFixture f;
    const QString a = f.writeFile(QStringLiteral("a.txt"), "a\r\n");
    const QString c = f.writeFile(QStringLiteral("c.txt"), "c\r\n");
    fake().addWordDocument(QStringLiteral("/d/b.doc"),
                           {{FakePage{QStringLiteral("<p>b<img src=\"{files}/p.png\"></p>"), {{QStringLiteral("p.png"), "PNG"}}}}});
    if (failure == u"office")
        fake().failOn(QStringLiteral("SaveAs"), runtimeError(ErrAutomation, QStringLiteral("the document is damaged")));
    bool failed = false;
    f.server.setAnswerFor([&](int, const ReceivedRequest &r) {
        const bool post = r.requestLine().contains(kPostPath);
        if (!failed && !post && failure == u"picture") {
            failed = true;
            return QByteArray("HTTP/1.1 500 Internal Server Error\r\n\r\n");
        }
        if (!failed && post && r.field("title") == "b") {
            if (failure == u"refused") {
                failed = true;
                return QByteArray("HTTP/1.1 500 Internal Server Error\r\n\r\n");
            }
            if (failure == u"silent") {
                failed = true;
                return QByteArray();
            }
        }
        return TestHttpServer::okResponse(post ? "ok" : "/pics/p.jpg");
    });
    for (const QString &p : {a, QStringLiteral("/d/b.doc"), c})
        f.control->importLoop().AddFileToList(p);
    f.control->form().Command3->click();

    QCOMPARE(lines(*f.control), (QStringList{a + kDone, "/d/b.doc", c + kDone}));
    const QList<ui::MessageBoxRecord> boxes = ui::messageBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("导入文件时出错：/d/b.doc\n") + message);
    QCOMPARE(boxes[0].icon, ui::Icon::Critical);
    QCOMPARE(boxes[0].buttons, ui::Buttons::OK);
    QCOMPARE(boxes[0].title, ui::defaultTitle());
    QCOMPARE(f.articles().size(), failure == u"refused" || failure == u"silent" ? 3 : 2);
    QVERIFY(f.control->form().Command3->isEnabled() && !f.control->form().Command4->isEnabled());
    QVERIFY(!f.control->busy());

    // The next start imports the failed file, and only that one.
    const qsizetype before = f.articles().size();
    f.control->form().Command3->click();
    QCOMPARE(lines(*f.control), (QStringList{a + kDone, "/d/b.doc" + kDone, c + kDone}));
    QCOMPARE(f.articles().size(), before + 1);
    QCOMPARE(f.articles().last().title, QStringLiteral("b"));
    QCOMPARE(f.articles().last().content, QStringLiteral("<p>b<img src=\"/pics/p.jpg\"></p>") + PAGE_SEPARATOR);
    QCOMPARE(ui::messageBoxes().size(), 1);
}

// Started while a page's own import runs, the loop's files are refused as busy:
// none of them may be taken for done, and the next start imports them.
void LoopTest::busyLinesAreRetried()
{
    ImportFixture f;
    const QString a = f.writeFile(QStringLiteral("a.txt"), "a\r\n");
    f.control->importLoop().AddFileToList(a);
    bool clicked = false;
    f.server.setAnswerFor([&](int, const ReceivedRequest &) {
        if (!clicked) {
            clicked = true;
            f.control->form().Command3->click();
        }
        return TestHttpServer::okResponse("ok");
    });
    f.control->ImportTxt(QStringLiteral("page"), QStringLiteral("1"), QStringLiteral("u"));
    QVERIFY(clicked);
    QCOMPARE(lines(*f.control), QStringList{a});
    QCOMPARE(f.articles().size(), 1);
    f.control->form().Command3->click();
    QCOMPARE(lines(*f.control), QStringList{a + kDone});
    QCOMPARE(f.articles().size(), 2);
}

void LoopTest::startWhileLoopRunsDoesNothing()
{
    ImportFixture f;
    QStringList paths;
    for (const char *n : {"1.txt", "2.txt"}) {
        paths << f.writeFile(QString::fromLatin1(n), "text\r\n");
        f.control->importLoop().AddFileToList(paths.last());
    }
    int starts = 0;
    f.server.setAnswerFor([&](int index, const ReceivedRequest &) {
        if (index == 0 && starts++ == 0) {
            // Cancel enables the start button while this file is still being
            // imported; pressing it must not start a second loop.
            f.control->form().Command4->click();
            f.control->form().Command3->click();
        }
        return TestHttpServer::okResponse("ok");
    });
    f.control->form().Command3->click();
    QCOMPARE(f.server.requests.size(), 1);
    QCOMPARE(lines(*f.control), (QStringList{paths[0] + kDone, paths[1]}));
    QVERIFY(ui::messageBoxes().isEmpty());
    QVERIFY(!f.control->importLoop().active());
    QVERIFY(f.control->form().Command3->isEnabled());
}

QTEST_MAIN(LoopTest)
#include "loop_test.moc"
