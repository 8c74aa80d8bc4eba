// The fake presentation and spreadsheet programs, and the file writing they share
// with the fake word processor.
#include "office/FakeOfficeState.h"
#include "office/WorkFolders.h"
#include "office/OfficeConstants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <cerrno>

namespace tx::office {

void writeFakeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw fileError(EACCES, path);
}

QString writeFakePage(const FakePage &page, const QString &folder, const QString &filesRef)
{
    if (!page.files.isEmpty() && !QDir().mkpath(folder))
        throw fileError(EACCES, folder);
    for (auto it = page.files.constBegin(); it != page.files.constEnd(); ++it)
        writeFakeFile(folder + QLatin1Char('/') + it.key(), it.value());
    QString body = page.body;
    body.replace(QLatin1String("{files}"), filesRef);
    return body;
}

namespace {

QByteArray html(const QString &body)
{
    return (QStringLiteral("<html><head><meta charset=\"utf-8\"><title></title></head><body>") + body
            + QStringLiteral("</body></html>"))
        .toUtf8();
}

class FakePresentationDoc final : public PowerPointPresentation {
public:
    FakePresentationDoc(FakeOffice::State &s, FakePresentation p)
        : s(s), p(p), object(s.nextName(QStringLiteral("Presentation"))) {}

    int32_t DefaultLanguageID() override
    {
        s.record(object, QStringLiteral("DefaultLanguageID"), {});
        return p.languageId;
    }
    int32_t SlidesCount() override
    {
        s.record(object, QStringLiteral("Slides.Count"), {});
        return p.slides;
    }
    void SaveAs(const QString &fileName, int fileFormat) override
    {
        s.record(object, QStringLiteral("SaveAs"), {fileName, fileFormat});
        if (fileFormat != ppSaveAsJPG)
            return;
        const QString folder = slidesFolder(fileName);
        if (!QDir().mkpath(folder))
            throw fileError(EACCES, folder);
        const QString word = p.languageId == kLangChinesePrc ? QStringLiteral("幻灯片")
                                                             : QStringLiteral("Slide");
        QImage img(16, 12, QImage::Format_RGB32);
        for (int i = 1; i <= p.slides; ++i) {
            img.fill(QColor::fromHsv((i * 40) % 360, 200, 200));
            const QString path = folder + QLatin1Char('/') + word + QString::number(i) + ".jpg";
            if (!img.save(path, "JPG"))
                writeFakeFile(path, QByteArray("\xFF\xD8\xFF\xD9", 4));
        }
    }
    void Close() override { s.record(object, QStringLiteral("Close"), {}); }

private:
    FakeOffice::State &s;
    FakePresentation p;
    QString object;
};

class FakePowerPoint final : public PowerPointApplication {
public:
    explicit FakePowerPoint(FakeOffice::State &s) : s(s) {}
    void SetVisible(int visible) override
    {
        s.record(QStringLiteral("PowerPoint"), QStringLiteral("Visible"), {visible});
    }
    std::unique_ptr<PowerPointPresentation> PresentationsOpen(const QString &fileName) override
    {
        s.record(QStringLiteral("PowerPoint"), QStringLiteral("Presentations.Open"), {fileName});
        const auto it = s.presentations.constFind(fileName);
        if (it == s.presentations.constEnd())
            raiseRuntime(ErrAutomation, QStringLiteral("no such presentation: ") + fileName);
        return std::make_unique<FakePresentationDoc>(s, *it);
    }
    void Quit() override
    {
        s.record(QStringLiteral("PowerPoint"), QStringLiteral("Quit"), {});
        s.running[int(FakeApp::PowerPoint)] = false;
    }

private:
    FakeOffice::State &s;
};

class FakeWorkbookDoc final : public ExcelWorkbook {
public:
    FakeWorkbookDoc(FakeOffice::State &s, FakeWorkbook wb)
        : s(s), wb(std::move(wb)), object(s.nextName(QStringLiteral("Workbook"))) {}

    void SaveAs(const QString &fileName, int fileFormat, int accessMode) override
    {
        s.record(object, QStringLiteral("SaveAs"), {fileName, fileFormat, accessMode});
        if (fileFormat != xlHtml)
            return;
        const QString folder = supportingFolder(fileName);
        const QString ref = QFileInfo(folder).fileName(); // relative to the work folder
        QDir(folder).removeRecursively();
        if (wb.sheets.size() == 1) {
            writeFakeFile(fileName, html(writeFakePage(wb.sheets[0].page, folder, ref)));
            return;
        }
        if (!QDir().mkpath(folder))
            throw fileError(EACCES, folder);
        QString frames;
        for (qsizetype i = 0; i < wb.sheets.size(); ++i) {
            if (!wb.sheets[i].visible)
                continue;
            const QString sheet = QStringLiteral("sheet%1.htm").arg(i + 1, 3, 10, QLatin1Char('0'));
            writeFakeFile(folder + QLatin1Char('/') + sheet,
                          html(writeFakePage(wb.sheets[i].page, folder, ref)));
            frames += QStringLiteral("<a href=\"%1/%2\">%3</a>").arg(ref, sheet, wb.sheets[i].name);
        }
        writeFakeFile(fileName, html(frames));
    }
    int32_t WorksheetsCount() override
    {
        s.record(object, QStringLiteral("Worksheets.Count"), {});
        return int32_t(wb.sheets.size());
    }
    QString WorksheetsName(int index) override
    {
        s.record(object, QStringLiteral("Worksheets.Name"), {index});
        if (index < 1 || index > wb.sheets.size())
            raiseRuntime(ErrSubscript);
        return wb.sheets[index - 1].name;
    }
    bool WorksheetsVisible(int index) override
    {
        s.record(object, QStringLiteral("Worksheets.Visible"), {index});
        if (index < 1 || index > wb.sheets.size())
            raiseRuntime(ErrSubscript);
        return wb.sheets[index - 1].visible;
    }
    void Close() override { s.record(object, QStringLiteral("Close"), {}); }

private:
    FakeOffice::State &s;
    FakeWorkbook wb;
    QString object;
};

class FakeExcel final : public ExcelApplication {
public:
    explicit FakeExcel(FakeOffice::State &s) : s(s) {}
    std::unique_ptr<ExcelWorkbook> WorkbooksOpen(const QString &fileName) override
    {
        s.record(QStringLiteral("Excel"), QStringLiteral("Workbooks.Open"), {fileName});
        const auto it = s.workbooks.constFind(fileName);
        if (it == s.workbooks.constEnd())
            raiseRuntime(ErrAutomation, QStringLiteral("no such workbook: ") + fileName);
        return std::make_unique<FakeWorkbookDoc>(s, *it);
    }
    void SetDisplayAlerts(bool alerts) override
    {
        s.record(QStringLiteral("Excel"), QStringLiteral("DisplayAlerts"), {alerts});
    }

private:
    FakeOffice::State &s;
};

} // namespace

std::unique_ptr<PowerPointApplication> makeFakePowerPoint(FakeOffice::State &s)
{
    return std::make_unique<FakePowerPoint>(s);
}

std::unique_ptr<ExcelApplication> makeFakeExcel(FakeOffice::State &s)
{
    return std::make_unique<FakeExcel>(s);
}

} // namespace tx::office
