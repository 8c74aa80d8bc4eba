#include "officeimport/ArticlePost.h"

#include "officeimport/ImportErrors.h"
#include "core/Pump.h"
#include "upload/UploadMachinery.h"

namespace tx {

void postArticle(UploadMachinery &machinery, const QString &postPath, const Article &article)
{
    machinery.setProgress(0);
    pump::once();
    CompondFile &package = machinery.objPackage();
    package.RemoveAll();
    package.addFormData(QStringLiteral("columnid"), article.columnId);
    package.addFormData(QStringLiteral("issueid"), article.issueId);
    package.addFormData(QStringLiteral("objecttype"), article.objectType);
    package.addFormData(QStringLiteral("title"), article.title);
    package.addFormData(QStringLiteral("content"), article.content);
    package.addFormData(QStringLiteral("author"), article.author);
    package.addFormData(QStringLiteral("curpath"), article.curPath);
    // Closes the connection and sets the bar to 100 once the wait is over.
    machinery.postPackage(postPath);
    if (machinery.outcome() != UploadMachinery::Outcome::Answered)
        throw importerror::article(machinery.outcomeReason());
}

} // namespace tx
