#include "FakeControl.h"
#include "shell/ArgumentConversion.h"
#include "shell/ControlObject.h"
#include "shell/Module.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace tx::com;
using tx::AutomationError;
using tx::scriptNumber;

namespace {

const ClassInfo &fakeClass()
{
    static const ClassInfo info{
        "Fake", guid("00000000-0000-0000-0000-0000000000F1"), guid("00000000-0000-0000-0000-0000000000F2"), Guid{},
        true,
        {
            {0x40030000, "Caption", MemberKind::PropertyGetPut, {}, VarType::String},
            {0x40030001, "Title", MemberKind::PropertyGet, {}, VarType::String},
            {0x60030000, "Add", MemberKind::Method, {{"a", VarType::Int32}, {"b", VarType::Int32}}, VarType::Int32},
            {0x60030001, "Echo", MemberKind::Method, {{"s", VarType::String, true}}, VarType::String},
            {0x60030002, "Flag", MemberKind::Method, {}, VarType::Bool},
            {0x60030003, "Init", MemberKind::Method,
             {{"s", VarType::String}, {"a", VarType::Int32}, {"o1", VarType::Int32, false, true, 0},
              {"o2", VarType::Int32, false, true, 1}},
             VarType::Int32},
            {0x60030004, "Fail", MemberKind::Method, {{"kind", VarType::Int32}}, VarType::Void},
            {0x60030005, "Missing", MemberKind::Method, {}, VarType::Void},
            {0x60030006, "Drift", MemberKind::Method, {{"n", VarType::Int32}}, VarType::Void},
            {0x60030007, "Wait", MemberKind::Method, {}, VarType::Int32},
        }};
    return info;
}

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        control = new tx::test::FakeControl;
        object = new tx::shell::ControlObject(fakeClass(), control);
    }
    void TearDown() override
    {
        if (object)
            object->Release();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    HRESULT call(const char *name, uint16_t flags, const QVariantList &args)
    {
        const QString n = QString::fromLatin1(name);
        int32_t id = -1;
        EXPECT_EQ(object->GetIDsOfNames(&n, 1, &id), S_OK) << name;
        result = QVariant();
        excep = ExcepInfo{};
        return object->Invoke(id, flags, args, &result, &excep);
    }
    int32_t errorOf(const char *name, const QVariantList &args, uint16_t flags = DISPATCH_METHOD)
    {
        const HRESULT hr = call(name, flags, args);
        EXPECT_EQ(hr, DISP_E_EXCEPTION) << name;
        return excep.scode;
    }

    QPointer<tx::test::FakeControl> control;
    tx::shell::ControlObject *object = nullptr;
    QVariant result;
    ExcepInfo excep;
};

TEST_F(Dispatch, NamesResolveWithoutCase)
{
    const QString names[] = {"ADD", "echo", "nope"};
    int32_t ids[3];
    EXPECT_EQ(object->GetIDsOfNames(names, 3, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 0x60030000);
    EXPECT_EQ(ids[1], 0x60030001);
    EXPECT_EQ(ids[2], -1);
    EXPECT_EQ(object->Invoke(0x12345, DISPATCH_METHOD, {}, &result, &excep), DISP_E_MEMBERNOTFOUND);
}

TEST_F(Dispatch, ArgumentsConvertAsAutomationDoes)
{
    struct Case {
        const char *what;
        QVariant arg;
        int32_t expected; // or an error number
        bool isError;
    } const cases[] = {
        {"integral number", 7.0, 7, false},
        {"half rounds to even (2.5)", 2.5, 2, false},
        {"half rounds to even (3.5)", 3.5, 4, false},
        {"negative half (-2.5)", -2.5, -2, false},
        {"numeric string", QStringLiteral("12"), 12, false},
        {"numeric string with spaces and fraction", QStringLiteral(" 4.5 "), 4, false},
        {"exponent string", QStringLiteral("1e3"), 1000, false},
        {"true is -1", true, -1, false},
        {"largest", 2147483647.0, 2147483647, false},
        {"smallest", -2147483648.0, std::numeric_limits<int32_t>::min(), false},
        {"rounds past the top", 2147483647.5, tx::ErrOverflow, true},
        {"too big", 3e10, tx::ErrOverflow, true},
        {"too big as text", QStringLiteral("99999999999"), tx::ErrOverflow, true},
        {"NaN", std::nan(""), tx::ErrOverflow, true},
        {"other text", QStringLiteral("abc"), tx::ErrTypeMismatch, true},
        {"empty text", QString(), tx::ErrTypeMismatch, true},
        {"hex text", QStringLiteral("0x10"), tx::ErrTypeMismatch, true},
        {"null", QVariant::fromValue(nullptr), tx::ErrTypeMismatch, true},
    };
    for (const Case &c : cases) {
        const HRESULT hr = call("Add", DISPATCH_METHOD, {c.arg, 0});
        if (c.isError) {
            EXPECT_EQ(hr, DISP_E_EXCEPTION) << c.what;
            EXPECT_EQ(excep.scode, scriptNumber(c.expected)) << c.what;
            EXPECT_EQ(excep.source, QStringLiteral("Tessarix5")) << c.what;
        } else {
            EXPECT_EQ(hr, S_OK) << c.what;
            EXPECT_EQ(result, QVariant(c.expected)) << c.what;
        }
    }
}

TEST_F(Dispatch, StringParametersTakeNumbersAsDecimalText)
{
    const struct {
        QVariant in;
        QString out;
    } cases[] = {{5.0, "5"}, {-12.0, "-12"}, {1.5, "1.5"}, {true, "True"}, {QVariant(), ""}, {QStringLiteral("x"), "x"}};
    for (const auto &c : cases) {
        ASSERT_EQ(call("Echo", DISPATCH_METHOD, {c.in}), S_OK);
        EXPECT_EQ(result.toString(), c.out);
    }
}

TEST_F(Dispatch, ArgumentCountsAndOptionalDefaults)
{
    EXPECT_EQ(errorOf("Add", {1}), scriptNumber(tx::ErrArgNotOptional));
    EXPECT_EQ(errorOf("Add", {1, 2, 3}), scriptNumber(tx::ErrWrongArgCount));
    EXPECT_EQ(errorOf("Init", {"s"}), scriptNumber(tx::ErrArgNotOptional));
    ASSERT_EQ(call("Init", DISPATCH_METHOD, {"s", 3}), S_OK);
    EXPECT_EQ(result.toInt(), 301); // defaults 0 and 1
    ASSERT_EQ(call("Init", DISPATCH_METHOD, {"s", 3, 7}), S_OK);
    EXPECT_EQ(result.toInt(), 371);
    ASSERT_EQ(call("Init", DISPATCH_METHOD, {"s", 3, 7, 8}), S_OK);
    EXPECT_EQ(result.toInt(), 378);
}

TEST_F(Dispatch, PropertiesAndResults)
{
    ASSERT_EQ(call("Caption", DISPATCH_PROPERTYPUT, {42.0}), S_OK);
    EXPECT_EQ(control->Caption(), QStringLiteral("42"));
    ASSERT_EQ(call("caption", DISPATCH_PROPERTYGET, {}), S_OK);
    EXPECT_EQ(result, QVariant(QStringLiteral("42")));
    EXPECT_EQ(errorOf("Caption", {1, 2}, DISPATCH_PROPERTYPUT), scriptNumber(tx::ErrWrongArgCount));
    EXPECT_EQ(errorOf("Add", {1}, DISPATCH_PROPERTYPUT), scriptNumber(tx::ErrNoSuchMember));
    ASSERT_EQ(call("Flag", DISPATCH_METHOD, {}), S_OK);
    EXPECT_EQ(result, QVariant(true));
}

TEST_F(Dispatch, MembersNotBuiltAnswer438)
{
    EXPECT_EQ(errorOf("Missing", {}), scriptNumber(tx::ErrNoSuchMember));
    EXPECT_TRUE(excep.description.contains("Missing"));
    EXPECT_EQ(errorOf("Title", {}, DISPATCH_PROPERTYGET), scriptNumber(tx::ErrNoSuchMember));
    // Built, but with other parameter types than published.
    EXPECT_EQ(errorOf("Drift", {1}), scriptNumber(tx::ErrAutomation));
}

TEST_F(Dispatch, MemberErrorsKeepNumberSourceAndDescription)
{
    EXPECT_EQ(errorOf("Fail", {1}), scriptNumber(tx::ErrFileNotFound));
    EXPECT_EQ(excep.source, QStringLiteral("Tessarix5"));
    EXPECT_EQ(excep.description, QStringLiteral("File not found: /no/such/file"));
    EXPECT_EQ(errorOf("Fail", {2}), int32_t(0x800A270F));
    EXPECT_EQ(excep.source, QStringLiteral("CompondFile:AddUploadFile Method"));
    EXPECT_TRUE(excep.description.isEmpty());
    EXPECT_EQ(errorOf("Fail", {3}), tx::kErrBadUrl); // a result code passes unchanged
    EXPECT_EQ(excep.source, QStringLiteral("Error"));
    EXPECT_EQ(excep.description, QStringLiteral("错误的URL"));
    EXPECT_EQ(errorOf("Fail", {4}), scriptNumber(tx::ErrAutomation));
    EXPECT_TRUE(excep.description.contains("plain failure"));
}

TEST_F(Dispatch, InterfacesAndLifetime)
{
    void *out = nullptr;
    for (const Guid &iid : {IID_IUnknown, IID_IDispatch, fakeClass().iid, IID_IObjectSafety, IID_IControlObject}) {
        ASSERT_EQ(object->QueryInterface(iid, &out), S_OK) << iid.toString().toStdString();
        static_cast<IUnknown *>(out)->Release();
    }
    EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    const int live = tx::shell::module::liveObjects();
    object->Release();
    object = nullptr;
    // The control goes with the next deferred deletion, and counts until then.
    EXPECT_TRUE(control);
    EXPECT_EQ(tx::shell::module::liveObjects(), live);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(control);
    EXPECT_EQ(tx::shell::module::liveObjects(), live - 1);
}

// While a member or a person's operation pumps events, the page may call in again:
// only reads pass, and the running call still ends with its own result.
TEST_F(Dispatch, BusyWhileACallOrAPersonsOperationRuns)
{
    tx::ui::reset();
    struct Row {
        const char *member;
        uint16_t flags;
        QVariantList args;
        bool refused;
    } const rows[] = {
        {"Add", DISPATCH_METHOD, {1, 2}, true},
        {"Wait", DISPATCH_METHOD, {}, true},
        {"Caption", DISPATCH_PROPERTYPUT, {QStringLiteral("x")}, true},
        {"Caption", DISPATCH_PROPERTYGET, {}, false},
    };
    QStringList problems;
    const auto probe = [&](const char *during) {
        for (const Row &r : rows) {
            const HRESULT hr = call(r.member, r.flags, r.args);
            const bool busy = hr == DISP_E_EXCEPTION && excep.scode == tx::kErrBusy && excep.source == u"Fake" &&
                              excep.description == u"控件正忙，请稍后再试。";
            if (busy != r.refused || (!r.refused && hr != S_OK))
                problems << QStringLiteral("%1 during %2: 0x%3").arg(r.member, during).arg(uint32_t(hr), 0, 16);
        }
    };

    QTimer::singleShot(0, [&] {
        probe("a call");
        control->start(); // a person's start button: the busy box, nothing started
        control->resume();
    });
    ASSERT_EQ(call("Wait", DISPATCH_METHOD, {}), S_OK);
    EXPECT_EQ(result, QVariant(1)); // its own result, not the refused inner call's
    ASSERT_EQ(tx::ui::messageBoxes().size(), 1);
    EXPECT_EQ(tx::ui::messageBoxes()[0].text, QStringLiteral("控件正忙，请稍后再试。"));

    QTimer::singleShot(0, [&] {
        probe("a person's operation");
        control->resume();
    });
    control->start();
    EXPECT_EQ(problems, QStringList());
    EXPECT_EQ(control->seen, (QStringList{"refused", "started", "finished"}));
    EXPECT_EQ(control->Caption(), QString()); // no refused write got through
    // Free again once both returned.
    ASSERT_EQ(call("Add", DISPATCH_METHOD, {1, 2}), S_OK);
    ASSERT_EQ(call("Caption", DISPATCH_PROPERTYPUT, {QStringLiteral("y")}), S_OK);
    tx::ui::reset();
}

// A person's operation keeps its control: the last release (or anyone's deferred
// deletion) inside it ends its waits at their next event, quietly, and the control
// goes when the operation has returned.
TEST_F(Dispatch, AControlOutlivesItsRunningOperation)
{
    for (const bool released : {true, false}) {
        tx::ui::reset();
        const int live = tx::shell::module::liveObjects();
        QTimer::singleShot(0, [&] {
            if (released) {
                object->Release();
                object = nullptr;
            } else {
                control->deleteLater();
            }
        });
        control->start(); // would wait for ever: nothing resumes it
        ASSERT_TRUE(control) << released;
        EXPECT_EQ(control->seen, (QStringList{"started", "ended"}));
        EXPECT_TRUE(tx::ui::messageBoxes().isEmpty()); // nobody is asked anything for it
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(control);
        EXPECT_EQ(tx::shell::module::liveObjects(), live - (released ? 1 : 0));
        if (!released) {
            object->Release();
            object = nullptr;
        }
        SetUp();
    }
    tx::ui::reset();
}

} // namespace
