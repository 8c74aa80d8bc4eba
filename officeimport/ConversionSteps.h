#pragma once
// Steps the Word, PowerPoint and Excel conversions share.
#include <QString>
#include <cstdint>
#include <exception>
#include <memory>

namespace tx::conversion {

// The folder under the temporary folder where the office programs write their
// HTML and pictures; ends with "/". Made when missing, never removed.
QString workFolder();
// Makes the work folder; one that is a symbolic link is refused (error 70), so
// nothing is ever written where the link points.
void makeWorkFolder(const QString &folder);

// The column id as a 32-bit number (error 13 for a text that is none). Its value
// is not used; the check only refuses bad input before any work is done.
int32_t checkColumnId(const QString &colID);

// Runs `f`, dropping any error: for the steps whose failure changes nothing, the
// clean-up after a conversion above all.
template <typename F> void ignoringErrors(F &&f) noexcept
{
    try {
        f();
    } catch (...) {
    }
}

// The running application when there is one, else a new one. Attaching is tried
// with errors ignored; creating fails at once (error 429) when the program cannot
// be started.
template <typename App, typename Attach, typename Create>
std::unique_ptr<App> attachOrCreate(Attach &&attach, Create &&create, bool *created = nullptr)
{
    std::unique_ptr<App> app;
    ignoringErrors([&] { app = attach(); });
    if (created)
        *created = !app;
    if (!app)
        app = create();
    return app;
}

// The folder the office program writes a saved page's pictures (or a workbook's
// sheet files) into: the file's ".tmp" ending made ".files".
QString filesFolder(const QString &tmpFile);

// Deletes the file; a missing one is fine.
void deleteFile(const QString &path);

} // namespace tx::conversion
