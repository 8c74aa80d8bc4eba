#pragma once
// What the office import tests share: a private temporary folder, a loopback
// server that answers picture uploads with "/pics/<request index>.jpg" and posts with "ok",
// the fake office, and a control initialised against that server.
#include "officeimport/OfficeImport.h"
#include "support/TestHttpServer.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace tx::test {

inline const char *kPostPath = "/cms/savepost.asp";

struct PostedArticle {
    QList<QByteArray> names; // field names in the order sent
    QString columnid, issueid, objecttype, title, content, author, curpath;
};

class ImportFixture {
public:
    // Sets TEMP to a fresh folder and, with fakeOffice, installs the fake office.
    explicit ImportFixture(bool fakeOffice = true);
    ~ImportFixture();

    QString tempPath() const { return temp.path(); }
    QString workFolder() const { return temp.path() + QStringLiteral("/doc2html"); }
    // Names left in the work folder (the folder itself may stay).
    QStringList workFolderEntries() const;
    // Writes a file under the temporary folder and returns its path.
    QString writeFile(const QString &name, const QByteArray &bytes) const;

    QList<PostedArticle> articles() const;
    // The picture uploads: requests to the upload path, in order.
    QList<ReceivedRequest> pictureUploads() const;

    TestHttpServer server;
    std::unique_ptr<OfficeImport> control;

private:
    QTemporaryDir temp;
    QByteArray savedTemp;
};

PostedArticle parseArticle(const ReceivedRequest &r);

} // namespace tx::test
