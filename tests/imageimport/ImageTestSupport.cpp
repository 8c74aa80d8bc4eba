#include "ImageTestSupport.h"

#include "imageimport/ImageImport.h"
#include "imageimport/ImageImportForm.h"
#include "platform/Ui.h"

#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QTcpServer>

namespace tx::test {

QString makePicture(const QTemporaryDir &dir, const QString &name, QSize size)
{
    const QString path = dir.filePath(name);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkYellow);
    const bool gif = name.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive);
    const QString lower = name.toLower();
    const char *format = gif ? "PNG" : lower.endsWith(QLatin1String("bmp")) ? "BMP" : "JPG";
    if (!image.save(path, format))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString makeJunk(const QTemporaryDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write("this is no picture");
    return path;
}

quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    const quint16 port = s.serverPort();
    s.close();
    return port;
}

} // namespace tx::test

namespace tx::test {

bool isPost(const ReceivedRequest &r) { return r.requestLine().contains("/cms/article.asp"); }

MultipartPart filePart(const ReceivedRequest &r)
{
    for (const MultipartPart &p : r.parts())
        if (!p.filename.isEmpty())
            return p;
    return {};
}

QByteArrayList fieldNames(const ReceivedRequest &r)
{
    QByteArrayList names;
    for (const MultipartPart &p : r.parts())
        if (p.filename.isEmpty())
            names << p.name;
    return names;
}

QStringList texts(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void ImageFixture::setUp()
{
    ui::reset();
    server = std::make_unique<TestHttpServer>();
    server->setAnswerFor([](int, const ReceivedRequest &r) {
        if (isPost(r))
            return TestHttpServer::okResponse("posted");
        return TestHttpServer::okResponse("<img alt=Click src=" + filePart(r).name + ">");
    });
    ctl = std::make_unique<ImageImport>();
    f = &ctl->form();
    initAgainst(server->port());
}

void ImageFixture::tearDown()
{
    ctl.reset();
    server.reset();
}

void ImageFixture::initAgainst(quint16 port)
{
    ctl->Init(QStringLiteral("http://127.0.0.1:%1/cms/upload.asp").arg(port),
              QStringLiteral("http://elsewhere.example:81/cms/article.asp"), QStringLiteral("/pics/"), 7,
              QStringLiteral("editor"), QString(), 3, 1);
}

void ImageFixture::pick(const QStringList &paths)
{
    ui::queueFileDialogAnswers({paths});
    f->btnAddFile->click();
}

void ImageFixture::runBatch(const QString &confirm)
{
    ui::queueMessageBoxAnswers({confirm});
    f->btnBegin->click();
}

QList<ReceivedRequest> ImageFixture::posts() const
{
    QList<ReceivedRequest> out;
    for (const ReceivedRequest &r : server->requests)
        if (isPost(r))
            out << r;
    return out;
}

} // namespace tx::test
