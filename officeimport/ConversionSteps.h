#pragma once
// Steps the Word, PowerPoint and Excel conversions share.
#include "office/OfficeFailure.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <exception>
#include <memory>

namespace tx {
class HtmlCleaner;
}

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

// What one conversion made in the work folder, removed when the conversion ends,
// however it ends.
class WorkFiles {
public:
    WorkFiles() = default;
    WorkFiles(const WorkFiles &) = delete;
    WorkFiles &operator=(const WorkFiles &) = delete;
    ~WorkFiles();
    void addFile(const QString &path) { files << path; }
    void addFolder(const QString &path) { folders << path; }

private:
    QStringList files;
    QStringList folders;
};

// Runs a conversion of the user's document `fileDoc`, telling a document the
// office cannot open as the kind asked for, or an office that stopped under it,
// in the user's words with the user's path (never the work copy's).
[[noreturn]] void raiseForUser(const office::OfficeFailure &failure, const QString &fileDoc);

template <typename F> int convert(const QString &fileDoc, F &&f)
{
    try {
        return f();
    } catch (const office::OfficeFailure &failure) {
        raiseForUser(failure, fileDoc);
    }
}

// The folder of the user's document, against which the pictures it links resolve.
QString documentFolder(const QString &fileDoc);

// Makes the work folder and a new work file in it ("htm….tmp"), both left to
// `work` with the folders the office writes beside the file, and points the
// cleaner at them: pictures from the file's supporting folder or, linked, from
// the folder of the user's document `fileDoc`. Returns the work file.
QString startWorkFile(HtmlCleaner &cleaner, WorkFiles &work, const QString &fileDoc);

} // namespace tx::conversion
