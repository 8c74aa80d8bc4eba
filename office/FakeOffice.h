#pragma once
// A scripted office for unit tests: records every call in order and writes the
// files a real application would (page HTML, slide pictures, sheet files).
#include "core/AutomationError.h"
#include "office/OfficeBackend.h"
#include "office/OfficeFailure.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QStringList>
#include <QVariantList>
#include <optional>

namespace tx::office {

// In a scripted body, "{files}" stands for the name of the folder that holds the
// pictures (e.g. "htm1A.files"), as the saved HTML addresses them.
struct FakePage {
    QString body;
    QMap<QString, QByteArray> files; // picture name -> bytes, written into the folder
};

struct FakeWordDocument {
    QList<FakePage> pages;
};

struct FakePresentation {
    int32_t languageId = 1033;
    int slides = 1;
};

struct FakeSheet {
    QString name;
    FakePage page;
    bool visible = true; // a hidden sheet gets no sheet file, like a real export
};

struct FakeWorkbook {
    QList<FakeSheet> sheets;
};

struct FakeCall {
    QString object; // "Word", "Document 2", "Selection 3", "PowerPoint", "Presentation 1" …
    QString name;   // "Documents.Open", "SaveAs", "GoTo" …
    QVariantList args;
    QString toString() const; // "Document 1.SaveAs(/w/htm1.tmp, 8)"
};

enum class FakeApp { Word, PowerPoint, Excel };

class FakeOffice final : public Backend {
public:
    FakeOffice();
    ~FakeOffice() override;

    static FakeOffice &instance();

    // Forgets documents, calls, failures; nothing installed is running.
    void reset();
    void setInstalled(bool installed);
    void setRunning(FakeApp app, bool running);
    bool running(FakeApp app) const;

    void addWordDocument(const QString &path, FakeWordDocument doc);
    void addPresentation(const QString &path, FakePresentation p);
    void addWorkbook(const QString &path, FakeWorkbook wb);

    // The next call named `name` (object-independent) throws `error`.
    void failOn(const QString &name, AutomationError error);
    // The same with an office failure (a document refused, the program stopped).
    void failOn(const QString &name, OfficeFailure failure);

    const QList<FakeCall> &calls() const;
    QStringList callStrings() const;
    // The time limit last set (0 when never set).
    int callTimeLimitMs() const;

    QString name() const override;
    std::unique_ptr<WordApplication> attachWord() override;
    std::unique_ptr<WordApplication> createWord() override;
    std::unique_ptr<PowerPointApplication> attachPowerPoint() override;
    std::unique_ptr<PowerPointApplication> createPowerPoint() override;
    std::unique_ptr<ExcelApplication> attachExcel() override;
    std::unique_ptr<ExcelApplication> createExcel() override;
    void setCallTimeLimitMs(int ms) override;
    void shutdown() override;

    // Used by the fake's application objects.
    struct State;
    State &state();

private:
    std::unique_ptr<State> d;
};

} // namespace tx::office
