#include "GTestMain.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace tx::test {

static MainSteps &steps()
{
    static MainSteps s;
    return s;
}

bool setMainSteps(MainSteps s)
{
    steps() = std::move(s);
    return true;
}

} // namespace tx::test

int main(int argc, char **argv)
{
    const tx::test::MainSteps &steps = tx::test::steps();
    // The controls are widgets; a test run needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (steps.before)
        steps.before();
    QApplication app(argc, argv);
    if (steps.instead)
        if (const std::optional<int> rc = steps.instead(argc, argv))
            return *rc;
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    if (steps.after)
        steps.after();
    return rc;
}
