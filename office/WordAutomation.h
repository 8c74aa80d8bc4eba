#pragma once
// The word processor as the conversions drive it: Word.Application's calls.
// Objects are released by destroying them; every call may throw AutomationError.
#include <QString>
#include <memory>
#include <optional>

namespace tx::office {

// Windows(n).Selection of one document.
class WordSelection {
public:
    virtual ~WordSelection() = default;
    // GoTo(What, Which omitted, Count, Name omitted): only wdGoToPage is known.
    virtual void GoTo(int what, int count) = 0;
    // EndKey(Unit, Extend): wdStory with wdExtend selects to the end of the story.
    virtual void EndKey(int unit, int extend) = 0;
    // Copy and Paste go through the office program's own transferable, shared by
    // the selections of one application; the user's clipboard is never touched.
    virtual void Copy() = 0;
    virtual void Paste() = 0;
    virtual void Delete() = 0;
};

class WordDocument {
public:
    virtual ~WordDocument() = default;
    virtual void Repaginate() = 0;
    // BuiltInDocumentProperties(id).Value as a 32-bit number; wdPropertyPages
    // gives the page count from the layout.
    virtual int32_t BuiltInDocumentProperties(int id) = 0;
    // Windows(index).Selection; lives no longer than the document.
    virtual std::shared_ptr<WordSelection> WindowsSelection(int index) = 0;
    // SaveAs(FileName, FileFormat, LockComments omitted, Password): wdFormatHTML
    // writes the pictures into the folder named by replacing ".tmp" in FileName
    // with ".files"; a Word document (wdFormatDocument) is locked with Password
    // when one is given.
    virtual void SaveAs(const QString &fileName, int fileFormat, const QString &password) = 0;
    void SaveAs(const QString &fileName, int fileFormat) { SaveAs(fileName, fileFormat, QString()); }
    // Close(SaveChanges, OriginalFormat omitted, RouteDocument); an omitted
    // SaveChanges discards the changes (alerts are off).
    virtual void Close(std::optional<bool> saveChanges, std::optional<bool> routeDocument) = 0;
};

class WordApplication {
public:
    virtual ~WordApplication() = default;
    virtual void SetDisplayAlerts(int alerts) = 0;
    // Documents.Open(FileName): the file itself is never opened for writing.
    virtual std::unique_ptr<WordDocument> DocumentsOpen(const QString &fileName) = 0;
    virtual std::unique_ptr<WordDocument> DocumentsAdd() = 0;
    // ActiveWindow.View.Type = type.
    virtual void SetActiveWindowViewType(int type) = 0;
};

} // namespace tx::office
