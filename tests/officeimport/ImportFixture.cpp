#include "ImportFixture.h"

#include "platform/Ui.h"
#include "office/FakeOffice.h"

#include <QDir>
#include <QFile>

namespace tx::test {

ImportFixture::ImportFixture(bool fakeOffice) : savedTemp(qgetenv("TEMP"))
{
    qputenv("TEMP", QFile::encodeName(temp.path()));
    ui::reset();
    if (fakeOffice) {
        office::FakeOffice::instance().reset();
        office::setBackend(&office::FakeOffice::instance());
    }
    server.setAnswerFor([](int index, const ReceivedRequest &r) {
        if (r.requestLine().contains(kPostPath))
            return TestHttpServer::okResponse("ok");
        return TestHttpServer::okResponse("/pics/" + QByteArray::number(index) + ".jpg");
    });
    control = std::make_unique<OfficeImport>();
    control->Init(server.url(QStringLiteral("/cms/upload.asp")), server.url(QString::fromLatin1(kPostPath)),
                  QStringLiteral("/news/"), 7, QStringLiteral("editor"), 3, 2);
}

ImportFixture::~ImportFixture()
{
    control.reset();
    office::setBackend(nullptr);
    if (savedTemp.isNull())
        qunsetenv("TEMP");
    else
        qputenv("TEMP", savedTemp);
}

QStringList ImportFixture::workFolderEntries() const
{
    return QDir(workFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

QString ImportFixture::writeFile(const QString &name, const QByteArray &bytes) const
{
    const QString path = temp.path() + QLatin1Char('/') + name;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

PostedArticle parseArticle(const ReceivedRequest &r)
{
    PostedArticle a;
    for (const MultipartPart &p : r.parts())
        a.names << p.name;
    const auto text = [&](const char *name) { return QString::fromUtf8(r.field(name)); };
    a.columnid = text("columnid");
    a.issueid = text("issueid");
    a.objecttype = text("objecttype");
    a.title = text("title");
    a.content = text("content");
    a.author = text("author");
    a.curpath = text("curpath");
    return a;
}

QList<PostedArticle> ImportFixture::articles() const
{
    QList<PostedArticle> out;
    for (const ReceivedRequest &r : server.requests)
        if (r.requestLine().contains(kPostPath))
            out << parseArticle(r);
    return out;
}

QList<ReceivedRequest> ImportFixture::pictureUploads() const
{
    QList<ReceivedRequest> out;
    for (const ReceivedRequest &r : server.requests)
        if (!r.requestLine().contains(kPostPath))
            out << r;
    return out;
}

} // namespace tx::test
