#pragma once
// What a conversion needs of the import control: its cleaner (with the fields
// strPicFolder, strSourceHtml, strTitle, strCleanBody, lngContentId), its article
// post and the picture size the form asks for.
#include <QString>

namespace tx {

class HtmlCleaner;

class ImportContext {
public:
    virtual ~ImportContext() = default;
    virtual HtmlCleaner &cleaner() = 0;
    virtual void PostArticle(const QString &colId, const QString &title, const QString &content,
                             const QString &author) = 0;
    // The texts of txtWidth and txtHeight, as they stand.
    virtual QString pictureWidth() const = 0;
    virtual QString pictureHeight() const = 0;
};

} // namespace tx
