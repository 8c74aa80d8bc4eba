#pragma once
// The one main of the GoogleTest binaries (tessarix_test's GTEST): a QApplication,
// on the offscreen platform unless another is chosen, then every test. A binary
// that needs more gives its steps from a namespace-scope initialiser:
//   const bool stepsSet = tx::test::setMainSteps({.before = ..., .after = ...});
#include <functional>
#include <optional>

namespace tx::test {

struct MainSteps {
    // Before the application is made: the environment it and the tests see.
    std::function<void()> before;
    // With the application made, before the tests: an exit code ends the program
    // there (a child mode that a test starts this binary in).
    std::function<std::optional<int>(int argc, char **argv)> instead;
    // After the tests, with the application still there.
    std::function<void()> after;
};

bool setMainSteps(MainSteps steps);

} // namespace tx::test
