#include "ImageTestSupport.h"

#include <QFile>
#include <QImage>
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
