#pragma once
// The last step of every import: one article posted as a multipart form to the
// article script, on the host and port of the upload URL.
#include <QString>

namespace tx {

class UploadMachinery;

struct Article {
    QString columnId;
    QString issueId;
    QString objectType;
    QString title;
    QString content;
    QString author;
    QString curPath;
};

// Empties the package, adds the seven fields in the server's order and posts them
// to `postPath`. A post that does not end with a "200 OK" answer fails (error 440
// with the reason), so that nothing is taken for posted that was not. The
// progress bar goes to 0 before and to 100 after.
void postArticle(UploadMachinery &machinery, const QString &postPath, const Article &article);

} // namespace tx
