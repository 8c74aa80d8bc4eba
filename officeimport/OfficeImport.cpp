#include "officeimport/OfficeImport.h"

#include "officeimport/ArticlePost.h"
#include "officeimport/ExcelConversion.h"
#include "officeimport/ImportErrors.h"
#include "officeimport/ImportLoop.h"
#include "officeimport/PowerPointConversion.h"
#include "officeimport/TextArticle.h"
#include "officeimport/WordConversion.h"
#include "core/AutomationError.h"
#include "office/OfficeBackend.h"
#include "upload/UploadMachinery.h"
#include "util/FileUtils.h"

#include <QLineEdit>

namespace tx {

OfficeImport::OfficeImport(QWidget *parent) : QWidget(parent), ui(this)
{
    setObjectName(QStringLiteral("OfficeImport"));
    // A refused upload leaves "Error" as the answer and nothing else.
    upload = new UploadMachinery(this, ui.pbFile, UploadMachinery::Profile{QStringLiteral("/cms/upload.asp"), true, false, {}});
    // A picture without its own "200 OK" answer would take the previous upload's
    // address: the import fails instead, naming the picture.
    htmlCleaner.setPictureUpload([this](const QString &sf, const QString &localFile, int contentId) {
        StartUpload(sf, localFile, contentId);
        if (upload->outcome() != UploadMachinery::Outcome::Answered)
            throw importerror::picture(util::GetFileName(localFile), upload->outcomeReason());
        return upload->answer;
    });
    loop = new ImportLoop(*this, ui, this);
    // The office program takes seconds to start: by the first import it runs.
    office::startInBackgroundOnce();
}

OfficeImport::~OfficeImport()
{
    // The loop filters the list's events; it goes before the children do.
    delete loop;
}

QString OfficeImport::strAnswer() const
{
    return upload->answer;
}

void OfficeImport::Init(const QString &UploadUrl, const QString &PostUrl, const QString &strPath, int pColumnid,
                        const QString &pUserName, int pIssueid, int pObjectType)
{
    strCurPath = strPath;
    htmlCleaner.strCurPath = strPath;
    upload->routeArticles(UploadUrl, PostUrl, strPostPath);
    lngColumnId = pColumnid;
    strUserName = pUserName;
    strIssueId = QString::number(pIssueid);
    strObjectType = QString::number(pObjectType);
}

void OfficeImport::addFormData(const QString &p_FormDataName, const QString &p_FormDataValue)
{
    upload->objPackage().addFormData(p_FormDataName, p_FormDataValue);
}

void OfficeImport::TestOK() {}

void OfficeImport::StartUpload(const QString &sf, const QString &localfile, int contentid)
{
    upload->sendFile(sf, localfile, contentid);
}

template <typename F> int OfficeImport::exclusive(F &&f)
{
    if (importDepth > 0)
        throw AutomationError(kErrBusy, QStringLiteral("OfficeImport"), QStringLiteral("控件正忙，请稍后再试。"));
    ++importDepth;
    struct Leave {
        int &depth;
        ~Leave() { --depth; }
    } leave{importDepth};
    return f();
}

int OfficeImport::importText(const QString &text, const QString &colID, const QString &UserName)
{
    const TextArticle article = textToArticle(text);
    PostArticle(colID, article.title, article.content, UserName);
    return 1;
}

int OfficeImport::ImportTxtFile(const QString &fileDoc, int colID, const QString &UserName)
{
    // A file that is missing or unreadable is an error, not an empty article.
    return exclusive([&] { return importText(util::ReadUserTextFile(fileDoc), QString::number(colID), UserName); });
}

int OfficeImport::ImportTxt(const QString &varText, const QString &colID, const QString &UserName)
{
    return exclusive([&] { return importText(varText, colID, UserName); });
}

int OfficeImport::ImportDocFile(const QString &fileDoc, const QString &colID, const QString &UserName)
{
    return exclusive([&] { return WordConversion(*this).importPaged(fileDoc, colID, UserName); });
}

int OfficeImport::ImportDocFileOnePage(const QString &fileDoc, const QString &colID, const QString &UserName)
{
    return exclusive([&] { return WordConversion(*this).importWhole(fileDoc, colID, UserName); });
}

int OfficeImport::ImportPPTFile(const QString &fileDoc, const QString &colID, const QString &UserName)
{
    return exclusive([&] { return PowerPointConversion(*this).import(fileDoc, colID, UserName); });
}

int OfficeImport::ImportXlsFile(const QString &fileDoc, const QString &colID, const QString &UserName)
{
    return exclusive([&] { return ExcelConversion(*this).import(fileDoc, colID, UserName); });
}

void OfficeImport::PostArticle(const QString &colId, const QString &title, const QString &content,
                               const QString &author)
{
    postArticle(*upload, strPostPath,
                Article{colId, strIssueId, strObjectType, title, content, author, strCurPath});
}

QString OfficeImport::pictureWidth() const
{
    return ui.txtWidth->text();
}

QString OfficeImport::pictureHeight() const
{
    return ui.txtHeight->text();
}

} // namespace tx
