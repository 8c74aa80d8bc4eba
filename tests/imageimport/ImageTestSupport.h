#pragma once
// Pictures made at test time and a control ready against a loopback server, for
// the image import tests.
#include "support/TestHttpServer.h"

#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class QListWidget;

namespace tx {
class ImageImport;
namespace image {
struct ImageImportForm;
}
} // namespace tx

namespace tx::test {

// Writes a picture of `size` pixels at dir/name (the kind from the name's suffix;
// ".gif" is written as PNG, which the loader reads by content).
QString makePicture(const QTemporaryDir &dir, const QString &name, QSize size = QSize(800, 600));
// Writes a file that is no picture.
QString makeJunk(const QTemporaryDir &dir, const QString &name);
// A port on the loopback address where nobody listens.
quint16 closedPort();

bool isPost(const ReceivedRequest &r);
// The package puts its file parts ahead of its fields.
MultipartPart filePart(const ReceivedRequest &r);
QByteArrayList fieldNames(const ReceivedRequest &r);
QStringList texts(const QListWidget *list);

// A control set up against its own server, which answers a picture upload with a
// fragment naming the file ("<img alt=Click src=NAME>") and an article with "posted".
struct ImageFixture {
    QTemporaryDir dir;
    std::unique_ptr<TestHttpServer> server;
    std::unique_ptr<ImageImport> ctl;
    image::ImageImportForm *f = nullptr;

    void setUp();
    void tearDown();
    // Init with pictures and articles going to `port`; the article URL names
    // another host, which must not count.
    void initAgainst(quint16 port);
    // Adds pictures as if picked in the open-file dialog.
    void pick(const QStringList &paths);
    // Presses the start button, answering the confirmation.
    void runBatch(const QString &confirm = QStringLiteral("Yes"));
    QList<ReceivedRequest> posts() const;
};

} // namespace tx::test
