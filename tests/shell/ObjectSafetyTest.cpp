#include "shell/ObjectSafety.h"
#include "shell/com/Guid.h"

#include <gtest/gtest.h>
#include <thread>

using namespace tx::com;
namespace safety = tx::shell::safety;

namespace {

constexpr uint32_t kUntouched = 0xDEADBEEF;

struct GetCase {
    const char *name;
    const Guid *iid;
    HRESULT hr;
    uint32_t enabled; // kUntouched: not written
};

class SafetyFlags : public ::testing::Test {
protected:
    void TearDown() override { safety::setFlagsForTesting(true, true); }
};

TEST_F(SafetyFlags, GetAnswersByGroup)
{
    const GetCase cases[] = {
        {"null riid", nullptr, S_OK, kUntouched},
        {"IDispatch", &IID_IDispatch, S_OK, 1},
        {"IDispatchEx (initialisation in Get)", &IID_IDispatchEx, S_OK, 2},
        {"IPersistStorage", &IID_IPersistStorage, S_OK, 2},
        {"IPersistStream", &IID_IPersistStream, S_OK, 2},
        {"IPersistPropertyBag", &IID_IPersistPropertyBag, S_OK, 2},
        {"IUnknown", &IID_IUnknown, E_NOINTERFACE, kUntouched},
        {"IObjectSafety", &IID_IObjectSafety, E_NOINTERFACE, kUntouched},
    };
    for (const GetCase &c : cases) {
        uint32_t supported = 0, enabled = kUntouched;
        EXPECT_EQ(safety::getOptions(c.iid, &supported, &enabled), c.hr) << c.name;
        EXPECT_EQ(supported, 3u) << c.name;
        EXPECT_EQ(enabled, c.enabled) << c.name;
    }
}

TEST_F(SafetyFlags, SetAcceptsExactlyTheGroupsOption)
{
    struct SetCase {
        const char *name;
        const Guid *iid;
        uint32_t mask, enabled;
        HRESULT hr;
    } const cases[] = {
        {"null riid", nullptr, 0, 0, S_OK},
        {"IDispatch 1/1", &IID_IDispatch, 1, 1, S_OK},
        {"IDispatch 3/3 (combined 3)", &IID_IDispatch, 3, 3, E_FAIL},
        {"IDispatch 1/0", &IID_IDispatch, 1, 0, E_FAIL},
        {"IDispatch 3/1 (combined 1)", &IID_IDispatch, 3, 1, S_OK},
        {"IDispatchEx 1/1 (scripting in Set)", &IID_IDispatchEx, 1, 1, S_OK},
        {"IDispatchEx 2/2", &IID_IDispatchEx, 2, 2, E_FAIL},
        {"IPersistStream 2/2", &IID_IPersistStream, 2, 2, S_OK},
        {"IPersistStream 1/1", &IID_IPersistStream, 1, 1, E_FAIL},
        {"IPersistPropertyBag 2/2", &IID_IPersistPropertyBag, 2, 2, S_OK},
        {"IPersistStorage 3/2", &IID_IPersistStorage, 3, 2, S_OK},
        {"IUnknown", &IID_IUnknown, 1, 1, E_NOINTERFACE},
    };
    for (const SetCase &c : cases)
        EXPECT_EQ(safety::setOptions(c.iid, c.mask, c.enabled), c.hr) << c.name;
}

TEST_F(SafetyFlags, SetChangesNothing)
{
    uint32_t s = 0, before = 0, after = 0;
    ASSERT_EQ(safety::getOptions(&IID_IDispatch, &s, &before), S_OK);
    ASSERT_EQ(safety::setOptions(&IID_IDispatch, 1, 1), S_OK);
    ASSERT_EQ(safety::setOptions(&IID_IDispatch, 1, 0), E_FAIL);
    ASSERT_EQ(safety::getOptions(&IID_IDispatch, &s, &after), S_OK);
    EXPECT_EQ(before, after);
}

TEST_F(SafetyFlags, ClearedFlagsAnswerZeroAndRefuse)
{
    safety::setFlagsForTesting(false, false);
    uint32_t s = 0, e = kUntouched;
    EXPECT_EQ(safety::getOptions(&IID_IDispatch, &s, &e), S_OK);
    EXPECT_EQ(e, 0u);
    e = kUntouched;
    EXPECT_EQ(safety::getOptions(&IID_IPersistStream, &s, &e), S_OK);
    EXPECT_EQ(e, 0u);
    EXPECT_EQ(safety::setOptions(&IID_IDispatch, 1, 1), E_FAIL);
    EXPECT_EQ(safety::setOptions(&IID_IPersistStream, 2, 2), E_FAIL);
}

TEST_F(SafetyFlags, FlagsArePerThread)
{
    safety::setFlagsForTesting(false, true);
    bool otherScripting = false, otherInit = false;
    std::thread([&] {
        otherScripting = safety::safeForScripting();
        otherInit = safety::safeForInitializing();
    }).join();
    EXPECT_TRUE(otherScripting);
    EXPECT_TRUE(otherInit);
    EXPECT_FALSE(safety::safeForScripting());
}

TEST(Guid, RegistryTextForm)
{
    EXPECT_EQ(IID_IDispatchEx.toString(), QStringLiteral("{A6EF9860-C720-11D0-9337-00A0C90DCAA9}"));
    const auto parsed = Guid::fromString(u"{a6ef9860-c720-11d0-9337-00a0c90dcaa9}");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, IID_IDispatchEx);
    for (const char *bad : {"", "{A6EF9860-C720-11D0-9337-00A0C90DCAA}", "A6EF9860-C720-11D0-9337-00A0C90DCAA9",
                            "{A6EF9860-C720-11D0-9337-00A0C90DCAAG}", "{A6EF9860C720-11D0-9337-00A0C90DCAA9-}",
                            // Digits and letters of other scripts are no hex digits.
                            "{A6EF9860-C720-11D0-9337-00A0C90DCAA\u0669}", "{A6EF9860-C720-11D0-9337-00A0C90DCAA\uFF21}"})
        EXPECT_FALSE(Guid::fromString(QString::fromUtf8(bad))) << bad;
}

} // namespace
