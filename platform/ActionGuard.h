#pragma once
// The one guard around a handler of a person's action (a click, a drop): no error
// may reach the event loop, so whatever escapes the handler is shown in a box.
#include "platform/Ui.h"

#include <exception>

namespace tx::ui {

// Shows the error that escaped a handler: an automation error's description (its
// source when it has none), a standard exception's text, else "未知错误".
void reportEscaped(std::exception_ptr error, Icon icon);

template <typename F> void guarded(F &&handler, Icon icon = Icon::Critical)
{
    try {
        handler();
    } catch (...) {
        reportEscaped(std::current_exception(), icon);
    }
}

} // namespace tx::ui
