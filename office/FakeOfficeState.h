#pragma once
// Inside of the fake office, shared by its application objects.
#include "office/FakeOffice.h"

#include <exception>

namespace tx::office {

struct FakeOffice::State {
    bool installed = true;
    bool running[3] = {false, false, false};
    QMap<QString, FakeWordDocument> word;
    QMap<QString, FakePresentation> presentations;
    QMap<QString, FakeWorkbook> workbooks;
    QMap<QString, std::exception_ptr> failures;
    QList<FakeCall> calls;
    QMap<QString, int> counters;
    QList<FakePage> transfer; // what the last Copy took, for Paste
    int timeLimitMs = 0;

    void record(const QString &object, const QString &name, QVariantList args);
    QString nextName(const QString &kind);
    bool attach(FakeApp app, const QString &object);
    void create(FakeApp app, const QString &object);
};

std::unique_ptr<WordApplication> makeFakeWord(FakeOffice::State &s);
std::unique_ptr<PowerPointApplication> makeFakePowerPoint(FakeOffice::State &s);
std::unique_ptr<ExcelApplication> makeFakeExcel(FakeOffice::State &s);

// Writes `page`'s pictures into `folder` and returns its body with "{files}"
// replaced by `filesRef`.
QString writeFakePage(const FakePage &page, const QString &folder, const QString &filesRef);
// Writes `text` as UTF-8 into `path`; throws the file error.
void writeFakeFile(const QString &path, const QByteArray &bytes);

} // namespace tx::office
