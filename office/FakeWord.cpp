// The fake word processor: a document is a list of pages; a selection runs from
// the start of a page to the end of the story.
#include "office/FakeOfficeState.h"
#include "office/WorkFolders.h"
#include "office/OfficeConstants.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace tx::office {
namespace {

struct DocData {
    QString object;
    QList<FakePage> pages;
    qsizetype selStart = 0; // 0-based page where the selection starts
    qsizetype selEnd = 0;   // one past its last page
};

class FakeSelection final : public WordSelection {
public:
    FakeSelection(FakeOffice::State &s, std::shared_ptr<DocData> doc)
        : s(s), doc(std::move(doc)), object(s.nextName(QStringLiteral("Selection"))) {}

    void GoTo(int what, int count) override
    {
        s.record(object, QStringLiteral("GoTo"), {what, QVariant(), count, QVariant()});
        if (what != wdGoToPage)
            raiseRuntime(ErrInvalidCall, QStringLiteral("GoTo"));
        const qsizetype last = qMax<qsizetype>(doc->pages.size() - 1, 0);
        doc->selStart = std::clamp<qsizetype>(qsizetype(count) - 1, 0, last);
        doc->selEnd = qMin(doc->selStart, doc->pages.size());
    }
    void EndKey(int unit, int extend) override
    {
        s.record(object, QStringLiteral("EndKey"), {unit, extend});
        doc->selEnd = doc->pages.size();
        if (extend != wdExtend)
            doc->selStart = doc->selEnd;
    }
    void Copy() override
    {
        s.record(object, QStringLiteral("Copy"), {});
        s.transfer = doc->pages.mid(doc->selStart, doc->selEnd - doc->selStart);
    }
    void Paste() override
    {
        s.record(object, QStringLiteral("Paste"), {});
        removeSelected();
        for (qsizetype i = 0; i < s.transfer.size(); ++i)
            doc->pages.insert(doc->selStart + i, s.transfer[i]);
        doc->selStart = doc->selEnd = doc->selStart + s.transfer.size();
    }
    void Delete() override
    {
        s.record(object, QStringLiteral("Delete"), {QVariant(), QVariant()});
        removeSelected();
    }

private:
    void removeSelected()
    {
        doc->pages.remove(doc->selStart, doc->selEnd - doc->selStart);
        doc->selEnd = doc->selStart;
    }

    FakeOffice::State &s;
    std::shared_ptr<DocData> doc;
    QString object;
};

class FakeDocument final : public WordDocument {
public:
    FakeDocument(FakeOffice::State &s, QList<FakePage> pages) : s(s), doc(std::make_shared<DocData>())
    {
        doc->object = s.nextName(QStringLiteral("Document"));
        doc->pages = std::move(pages);
    }
    const QString &object() const { return doc->object; }

    void Repaginate() override { s.record(doc->object, QStringLiteral("Repaginate"), {}); }
    int32_t BuiltInDocumentProperties(int id) override
    {
        s.record(doc->object, QStringLiteral("BuiltInDocumentProperties"), {id});
        if (id != wdPropertyPages)
            raiseRuntime(ErrInvalidCall, QStringLiteral("BuiltInDocumentProperties"));
        return int32_t(doc->pages.size());
    }
    std::shared_ptr<WordSelection> WindowsSelection(int index) override
    {
        s.record(doc->object, QStringLiteral("Windows.Selection"), {index});
        return std::make_shared<FakeSelection>(s, doc);
    }
    void SaveAs(const QString &fileName, int fileFormat, const QString &) override
    {
        s.record(doc->object, QStringLiteral("SaveAs"), {fileName, fileFormat});
        const QString folder = supportingFolder(fileName);
        QDir(folder).removeRecursively();
        QString body;
        for (const FakePage &p : doc->pages)
            body += writeFakePage(p, folder, QFileInfo(folder).fileName());
        writeFakeFile(fileName,
                      (QStringLiteral("<html><head><meta charset=\"utf-8\"><title></title></head><body>")
                       + body + QStringLiteral("</body></html>"))
                          .toUtf8());
    }
    void Close(std::optional<bool> saveChanges, std::optional<bool> routeDocument) override
    {
        s.record(doc->object, QStringLiteral("Close"),
                 {saveChanges ? QVariant(*saveChanges) : QVariant(), QVariant(),
                  routeDocument ? QVariant(*routeDocument) : QVariant()});
    }

private:
    FakeOffice::State &s;
    std::shared_ptr<DocData> doc;
};

class FakeWord final : public WordApplication {
public:
    explicit FakeWord(FakeOffice::State &s) : s(s) {}

    void SetDisplayAlerts(int alerts) override
    {
        s.record(QStringLiteral("Word"), QStringLiteral("DisplayAlerts"), {alerts});
    }
    std::unique_ptr<WordDocument> DocumentsOpen(const QString &fileName) override
    {
        s.record(QStringLiteral("Word"), QStringLiteral("Documents.Open"), {fileName});
        const auto it = s.word.constFind(fileName);
        if (it == s.word.constEnd())
            raiseRuntime(ErrAutomation, QStringLiteral("no such document: ") + fileName);
        return std::make_unique<FakeDocument>(s, it->pages);
    }
    std::unique_ptr<WordDocument> DocumentsAdd() override
    {
        s.record(QStringLiteral("Word"), QStringLiteral("Documents.Add"), {});
        return std::make_unique<FakeDocument>(s, QList<FakePage>{});
    }
    void SetActiveWindowViewType(int type) override
    {
        s.record(QStringLiteral("Word"), QStringLiteral("ActiveWindow.View.Type"), {type});
    }

private:
    FakeOffice::State &s;
};

} // namespace

std::unique_ptr<WordApplication> makeFakeWord(FakeOffice::State &s)
{
    return std::make_unique<FakeWord>(s);
}

} // namespace tx::office
