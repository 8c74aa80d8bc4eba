// The automation API in process: a page drives a test form through the same
// handles and hooks that it uses on the real controls.
#include "TestForm.h"
#include "host/PageHost.h"
#include "shell/Catalogue.h"
#include "shell/Controls.h"
#include "support/TestHttpServer.h"
#include "platform/Ui.h"
#include "shell/ControlObject.h"
#include "shell/Module.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QJSEngine>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tx::com;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

const ClassInfo &formClass()
{
    static const ClassInfo info{"TestForm", guid("00000000-0000-0000-0000-0000000000E1"),
                                guid("00000000-0000-0000-0000-0000000000E2"), Guid{}, true,
                                {{0x60030000, "Overlay", MemberKind::Method, {}, VarType::Void}}};
    return info;
}

class Automation : public ::testing::Test {
protected:
    void SetUp() override
    {
        tx::ui::reset();
        baseline = tx::shell::module::liveObjects();
        form = new tx::test::TestForm;
        host = std::make_unique<tx::host::PageHost>(false);
        host->engine().globalObject().setProperty(
            "form", host->wrap(new tx::shell::ControlObject(formClass(), form)));
    }
    void TearDown() override
    {
        host.reset();
        // The engine's end released the object; its control went with it.
        EXPECT_FALSE(form);
        EXPECT_EQ(tx::shell::module::liveObjects(), baseline);
        tx::ui::reset();
    }
    // Runs the page; `out` is the page's array of results, as text.
    QStringList run(const QString &page)
    {
        status = host->runSource(QStringLiteral("var out = [];\n") + page);
        QStringList lines;
        const QJSValue out = host->engine().globalObject().property("out");
        for (int i = 0; i < out.property("length").toInt(); ++i)
            lines << out.property(quint32(i)).toString();
        return lines;
    }

    int baseline = 0;
    int status = -1;
    QPointer<tx::test::TestForm> form;
    std::unique_ptr<tx::host::PageHost> host;
};

TEST_F(Automation, AfterFiresWhileAClickHandlerRuns)
{
    const QStringList out = run(QStringLiteral(
        "automation.after(30, function () {\n"
        "  out.push('after');\n"
        "  automation.child(form, 'txtStop').setText('stop');\n"
        "});\n"
        "automation.child(form, 'btnBegin').click();\n"
        "out.push('click returned');\n"));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, (QStringList{"after", "click returned"}));
    EXPECT_EQ(form->events, (QStringList{"batch started", "batch ended"}));
}

TEST_F(Automation, ReadsChildrenOfEveryKind)
{
    const QStringList out = run(QStringLiteral(
        "function c(n) { return automation.child(form, n); }\n"
        "out.push(c('btnBegin').text, c('btnBegin').enabled, c('btnOff').enabled, c('btnBegin').checked);\n"
        "out.push(c('chkStamp').checked, c('txtWidth').text, c('pbFile').value, c('pbFile').text === undefined);\n"
        "out.push(JSON.stringify(c('cmbScale').items), c('cmbScale').currentIndex, c('cmbScale').text);\n"
        "out.push(JSON.stringify(c('lstFileList').items), c('lstFileList').currentIndex,\n"
        "         JSON.stringify(c('lstFileList').selectedIndexes));\n"
        "out.push(c('lblHidden').visible, c('txtWidth').visible);\n"
        "var g = c('pbFile').geometry; out.push(typeof g.left, g.width > 0, g.height > 0);\n"
        "try { c('nothing'); } catch (e) { out.push(e.number, e.description); }\n"));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, (QStringList{"开始", "true", "false", "undefined",
                                "false", "100", "40", "false",
                                R"(["25%","50%","100%"])", "0", "25%",
                                R"(["a.doc","b.xls","c.ppt"])", "-1", "[]",
                                "false", "true",
                                "number", "true", "true",
                                QString::number(int32_t(0x800A0005)),
                                "Invalid procedure call or argument: TestForm has no child control named \"nothing\""}));
}

TEST_F(Automation, ActionsFireThePersonsHandlers)
{
    const QStringList out = run(QStringLiteral(
        "function c(n) { return automation.child(form, n); }\n"
        "c('txtWidth').setText('640'); out.push(c('txtWidth').text, c('txtWidth').focused);\n"
        "c('chkStamp').setChecked(true); out.push(c('chkStamp').checked);\n"
        "c('cmbScale').select(2); out.push(c('cmbScale').text);\n"
        "c('lstFileList').select(1); out.push(c('lstFileList').currentIndex, c('lstFileList').text);\n"
        "c('lstFileList').setSelected([0, 2]); out.push(JSON.stringify(c('lstFileList').selectedIndexes));\n"
        "c('btnOff').click();\n"
        "try { c('lstFileList').select(7); } catch (e) { out.push(e.number); }\n"
        "try { c('pbFile').setText('x'); } catch (e) { out.push(e.description); }\n"));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, (QStringList{"640", "true", "true", "100%", "1", "b.xls", "[0,2]",
                                QString::number(int32_t(0x800A0009)), "Invalid procedure call or argument: pbFile cannot take typing"}));
    EXPECT_EQ(form->events, (QStringList{"edited 640", "activated 2", "clicked b.xls"}));
}

TEST_F(Automation, HoverMovesThePointerOverALine)
{
    const QStringList out = run(QStringLiteral(
        "var l = automation.child(form, 'lstFileList');\n"
        "l.hover(2); out.push(l.toolTip);\n"
        "l.hover(-1); out.push(l.toolTip);\n"));
    EXPECT_EQ(out, (QStringList{"file c.ppt", ""}));
}

TEST_F(Automation, MessageBoxesTakeQueuedAnswersAndAreRecorded)
{
    const QStringList out = run(QStringLiteral(
        "automation.answerMessageBoxes(['No']);\n"
        "automation.child(form, 'btnAsk').click();\n"
        "automation.child(form, 'btnAsk').click();\n"
        "var boxes = automation.messageBoxes();\n"
        "out.push(boxes.length, JSON.stringify(boxes[0]));\n"
        "try { automation.answerMessageBoxes(['Maybe']); } catch (e) { out.push(e.number); }\n"
        "automation.answerFileDialogs([['/tmp/a.jpg'], []]);\n"
        "automation.answerFolderDialogs(['/tmp']);\n"
        "out.push(automation.fileDialogs().length);\n"));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, (QStringList{"2", R"({"text":"继续吗?","title":"Tessarix5","buttons":"YesNo","icon":"question"})",
                                QString::number(int32_t(0x800A0005)), "0"}));
    EXPECT_EQ(form->events, (QStringList{"answer 7", "answer 6"})); // queued No, then the default Yes
    EXPECT_EQ(tx::ui::openFiles({}), QStringList{"/tmp/a.jpg"});
    EXPECT_EQ(tx::ui::openFiles({}), QStringList{});
    EXPECT_EQ(tx::ui::browseForFolder(), QStringLiteral("/tmp"));
}

TEST_F(Automation, DropsAndClipboard)
{
    const QStringList out = run(QStringLiteral(
        "out.push(automation.dropFiles(form, 'lstFileList', ['/tmp/one.doc', '/tmp/两.xls']));\n"
        "out.push(automation.dropFiles(form, 'pbFile', ['/tmp/one.doc']));\n"
        "automation.setClipboardText('copied');\n"));
    EXPECT_EQ(out, (QStringList{"true", "false"}));
    EXPECT_EQ(form->dropped, (QStringList{"/tmp/one.doc", "/tmp/两.xls"}));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("copied"));

    run(QStringLiteral("automation.setClipboardFiles(['/tmp/a.jpg', '/tmp/b.png']);\n"));
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(mime);
    ASSERT_EQ(mime->urls().size(), 2);
    EXPECT_EQ(mime->urls()[1].toLocalFile(), QStringLiteral("/tmp/b.png"));
    EXPECT_TRUE(mime->hasFormat(QStringLiteral("text/uri-list")));
}

TEST_F(Automation, TheGarbageCollectorReleasesDroppedObjects)
{
    QPointer<tx::test::TestForm> other = new tx::test::TestForm;
    host->engine().globalObject().setProperty(
        "other", host->wrap(new tx::shell::ControlObject(formClass(), other)));
    EXPECT_EQ(tx::shell::module::liveObjects(), baseline + 2);
    run(QStringLiteral("automation.child(other, 'btnAsk'); other = null;\n"));
    host->engine().collectGarbage();
    // The collector deletes the page's reference later; that release deletes the
    // control later again.
    for (int round = 0; round < 2; ++round)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(other);
    EXPECT_TRUE(form);
    EXPECT_EQ(tx::shell::module::liveObjects(), baseline + 1);
}

// Whatever a page's hook throws: from onOverlay it comes back unchanged from the
// member that ran the hook; from after() it ends the page with status 1.
TEST_F(Automation, ValuesThrownByHooksAreNeitherLostNorReplaced)
{
    const QStringList out = run(QStringLiteral(
        "automation.onOverlay(function () { throw 'plain'; });\n"
        "try { form.Overlay(); out.push('returned'); } catch (e) { out.push(typeof e + ' ' + e); }\n"
        "var failure; try { form.Nothing(); } catch (e) { failure = e; }\n"
        "automation.onOverlay(function () { throw failure; });\n"
        "try { form.Overlay(); } catch (e) { out.push(e === failure, e.number, e.source, e.description); }\n"
        "var own = { number: 5, source: 'mine', description: 'own' };\n"
        "automation.onOverlay(function () { throw own; });\n"
        "try { form.Overlay(); } catch (e) { out.push(e === own); }\n"
        "automation.onOverlay(null);\n"
        "automation.after(5, function () { throw 42; });\n"
        "automation.pump(300);\n"
        "out.push('pumped');\n"));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out, (QStringList{"string plain", "true", QString::number(int32_t(0x800A01B6)), "Tessarix5",
                                "Object doesn't support this property or method: Nothing", "true", "pumped"}));
}

// A page that drops its last reference to a control while a click handler of that
// control pumps events: the collector's release runs inside the handler's wait.
TEST_F(Automation, DroppingAControlMidClickNeitherHangsNorFreesIt)
{
    const auto wrapOther = [this](QPointer<tx::test::TestForm> &other) {
        other = new tx::test::TestForm;
        host->engine().globalObject().setProperty("other", host->wrap(new tx::shell::ControlObject(formClass(), other)));
    };
    const auto settle = [] {
        for (int round = 0; round < 2; ++round)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };

    // Through the automation API: the click holds the object like a call does,
    // so the batch runs to its own end and the control goes afterwards.
    QPointer<tx::test::TestForm> other;
    wrapOther(other);
    QStringList events;
    other->sink = &events;
    QStringList out = run(QStringLiteral(
        "var stop = automation.child(other, 'txtStop');\n"
        "automation.after(30, function () {\n"
        "  other = null; gc(); automation.pump(30);\n"
        "  out.push('dropped'); stop.setText('stop');\n"
        "});\n"
        "automation.child(other, 'btnBegin').click();\n"
        "out.push('click returned');\n"));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, (QStringList{"dropped", "click returned"}));
    EXPECT_TRUE(other);
    host->engine().collectGarbage(); // the click's own frame held the page's object too
    settle();
    EXPECT_FALSE(other);
    EXPECT_EQ(events, (QStringList{"batch started", "batch ended"}));

    // A person's click holds nothing: the batch's wait ends at its next event,
    // the control goes when the handler has returned.
    wrapOther(other);
    events.clear();
    other->sink = &events;
    QTimer::singleShot(10, other->findChild<QPushButton *>("btnBegin"), &QPushButton::click);
    QElapsedTimer clock;
    clock.start();
    out = run(QStringLiteral("automation.after(30, function () { other = null; gc(); });\n"
                             "automation.pump(300);\n"
                             "out.push('pumped');\n"));
    settle();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, (QStringList{"pumped"}));
    EXPECT_LT(clock.elapsed(), 5000); // the batch's own deadline is 10 s
    EXPECT_FALSE(other);
    EXPECT_EQ(events, (QStringList{"batch started", "batch abandoned"}));
    EXPECT_TRUE(form);

    // The same for a folder walk whose upload waits on a silent server: the walk
    // ends at once, quietly, and the second file is never sent.
    tx::test::TestHttpServer server;
    // Silent; the page drops the control once the first file has arrived.
    server.setAnswerFor([this](int, const tx::test::ReceivedRequest &) {
        host->engine().evaluate(QStringLiteral("m = null; gc();"));
        return QByteArray();
    });
    QTemporaryDir tree;
    for (const char *name : {"/one.txt", "/two.txt"}) {
        QFile f(tree.path() + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(name);
    }
    const ClassInfo *walkerClass = tx::shell::findClass(u"MultiUpload");
    ASSERT_TRUE(walkerClass);
    QPointer<QObject> walker = tx::shell::createControl(*walkerClass);
    host->engine().globalObject().setProperty("m", host->wrap(new tx::shell::ControlObject(*walkerClass, walker)));
    tx::ui::queueFolderDialogAnswers({tree.path()});
    run(QStringLiteral("m.StartUpload('up', '%1'); automation.child(m, 'Command1').click();\n").arg(server.url()));
    QTimer::singleShot(10, walker->findChild<QPushButton *>("Command2"), &QPushButton::click);
    clock.restart();
    out = run(QStringLiteral("automation.pump(400);\n"
                             "out.push(automation.messageBoxes().length);\n"));
    settle();
    EXPECT_EQ(out, (QStringList{"0"})); // neither an error box nor the final message
    EXPECT_LT(clock.elapsed(), 5000);    // a file's answer wait alone is 30 s
    EXPECT_FALSE(walker);
    EXPECT_EQ(server.requests.size(), 1);
}

} // namespace
