#include "platform/ActionGuard.h"

#include "core/AutomationError.h"

namespace tx::ui {

void reportEscaped(std::exception_ptr error, Icon icon)
{
    QString text;
    try {
        std::rethrow_exception(error);
    } catch (const AutomationError &e) {
        text = e.description.isEmpty() ? e.source : e.description;
    } catch (const std::exception &e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        text = QStringLiteral("未知错误");
    }
    // The box is a handler too: an error of its own stays here.
    try {
        messageBox(text, Buttons::OK, icon);
    } catch (...) {
    }
}

} // namespace tx::ui
