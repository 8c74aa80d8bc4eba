#pragma once
// The office import control: a form to collect documents and import them, and
// scriptable members that turn text, Word, PowerPoint and Excel documents into
// articles on the server, every picture uploaded on the way.
#include "officeimport/HtmlCleaner.h"
#include "officeimport/ImportContext.h"
#include "officeimport/OfficeImportForm.h"

#include <QString>
#include <QWidget>
#include <cstdint>

namespace tx {

class ImportLoop;
class UploadMachinery;

class OfficeImport : public QWidget, private ImportContext {
    Q_OBJECT
public:
    explicit OfficeImport(QWidget *parent = nullptr);
    ~OfficeImport() override;

    Q_INVOKABLE void Init(const QString &UploadUrl, const QString &PostUrl, const QString &strPath, int pColumnid,
                          const QString &pUserName, int pIssueid = 0, int pObjectType = 1);
    Q_INVOKABLE void addFormData(const QString &p_FormDataName, const QString &p_FormDataValue);
    Q_INVOKABLE void TestOK();
    Q_INVOKABLE void StartUpload(const QString &sf, const QString &localfile, int contentid);
    Q_INVOKABLE int ImportTxtFile(const QString &fileDoc, int colID, const QString &UserName);
    Q_INVOKABLE int ImportTxt(const QString &varText, const QString &colID, const QString &UserName);
    Q_INVOKABLE int ImportDocFile(const QString &fileDoc, const QString &colID, const QString &UserName);
    Q_INVOKABLE int ImportDocFileOnePage(const QString &fileDoc, const QString &colID, const QString &UserName);
    Q_INVOKABLE int ImportPPTFile(const QString &fileDoc, const QString &colID, const QString &UserName);
    Q_INVOKABLE int ImportXlsFile(const QString &fileDoc, const QString &colID, const QString &UserName);

    // Fields set by Init and by the form.
    QString strPostPath;
    QString strCurPath;
    int32_t lngColumnId = 0;
    QString strUserName;
    QString strIssueId;
    QString strObjectType;
    bool bRunning = false;
    bool bAutoPaging = false;
    bool bCleanHtml = false; // kept; no step of the clean reads it

    // The last upload's answer.
    QString strAnswer() const;
    UploadMachinery &machinery() { return *upload; }
    HtmlCleaner &cleaner() override { return htmlCleaner; }
    const OfficeImportForm &form() const { return ui; }
    ImportLoop &importLoop() { return *loop; }
    // An Import… call is under way.
    bool busy() const { return importDepth > 0; }

private:
    void PostArticle(const QString &colId, const QString &title, const QString &content,
                     const QString &author) override;
    QString pictureWidth() const override;
    QString pictureHeight() const override;

    // Runs one Import… call, refusing it while another one runs: conversions share
    // the control's fields and must not overlap.
    template <typename F> int exclusive(F &&f);
    int importText(const QString &text, const QString &colID, const QString &UserName);

    OfficeImportForm ui;
    UploadMachinery *upload = nullptr;
    HtmlCleaner htmlCleaner;
    ImportLoop *loop = nullptr;
    int importDepth = 0;
};

} // namespace tx
