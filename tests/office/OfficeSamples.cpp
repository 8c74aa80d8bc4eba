#include "OfficeSamples.h"

#include <QBuffer>
#include <QFile>
#include <QImage>

namespace samples {
namespace {

const char *const kNamespaces =
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
    "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
    "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" "
    "xmlns:presentation=\"urn:oasis:names:tc:opendocument:xmlns:presentation:1.0\" "
    "office:version=\"1.2\"";

QString picture(const QString &anchor)
{
    return QStringLiteral("<draw:frame draw:name=\"pic\" %1 svg:width=\"2cm\" svg:height=\"1.5cm\">"
                          "<draw:image><office:binary-data>%2</office:binary-data></draw:image></draw:frame>")
        .arg(anchor, QString::fromLatin1(png(40, 30).toBase64()));
}

void write(const QString &path, const QString &mime, const QString &head, const QString &body)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document %1 "
                           "office:mimetype=\"application/vnd.oasis.opendocument.%2\">%3<office:body>%4"
                           "</office:body></office:document>\n")
                .arg(QString::fromLatin1(kNamespaces), mime, head, body)
                .toUtf8());
}

} // namespace

QByteArray png(int width, int height)
{
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(QColor(200, 30, 30));
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return bytes;
}

void writeText(const QString &path, int pages, int picturePage)
{
    QString body;
    for (int i = 1; i <= pages; ++i) {
        body += QStringLiteral("<text:p%1>Marker page %2</text:p>")
                    .arg(i > 1 ? QStringLiteral(" text:style-name=\"PB\"") : QString())
                    .arg(i);
        if (i == picturePage)
            body += QStringLiteral("<text:p>") + picture(QStringLiteral("text:anchor-type=\"as-char\""))
                + QStringLiteral("</text:p>");
    }
    write(path, QStringLiteral("text"),
          QStringLiteral("<office:automatic-styles><style:style style:name=\"PB\" style:family=\"paragraph\">"
                         "<style:paragraph-properties fo:break-before=\"page\"/></style:style>"
                         "</office:automatic-styles>"),
          QStringLiteral("<office:text>") + body + QStringLiteral("</office:text>"));
}

void writePresentation(const QString &path, const QStringList &titles, const QString &lang,
                       const QString &country)
{
    QString body;
    for (int i = 0; i < titles.size(); ++i)
        body += QStringLiteral("<draw:page draw:name=\"p%1\" draw:master-page-name=\"M\">"
                               "<draw:frame svg:x=\"2cm\" svg:y=\"2cm\" svg:width=\"20cm\" svg:height=\"3cm\">"
                               "<draw:text-box><text:p>%2</text:p></draw:text-box></draw:frame></draw:page>")
                    .arg(i + 1)
                    .arg(titles[i]);
    write(path, QStringLiteral("presentation"),
          QStringLiteral("<office:styles><style:default-style style:family=\"graphic\">"
                         "<style:text-properties fo:language=\"%1\" fo:country=\"%2\" "
                         "style:language-asian=\"%1\" style:country-asian=\"%2\"/></style:default-style>"
                         "</office:styles><office:automatic-styles><style:page-layout style:name=\"L\">"
                         "<style:page-layout-properties fo:page-width=\"28cm\" fo:page-height=\"15.75cm\"/>"
                         "</style:page-layout></office:automatic-styles><office:master-styles>"
                         "<style:master-page style:name=\"M\" style:page-layout-name=\"L\"/></office:master-styles>")
              .arg(lang, country),
          QStringLiteral("<office:presentation>") + body + QStringLiteral("</office:presentation>"));
}

void writeSpreadsheet(const QString &path, const QStringList &names, int pictureSheet)
{
    QString body;
    for (int i = 1; i <= names.size(); ++i) {
        body += QStringLiteral("<table:table table:name=\"%1\">").arg(names[i - 1]);
        if (i == pictureSheet)
            body += QStringLiteral("<table:shapes>") + picture(QStringLiteral("svg:x=\"1cm\" svg:y=\"1cm\""))
                + QStringLiteral("</table:shapes>");
        body += QStringLiteral("<table:table-row><table:table-cell office:value-type=\"string\">"
                               "<text:p>Marker sheet %1</text:p></table:table-cell></table:table-row>"
                               "</table:table>")
                    .arg(i);
    }
    write(path, QStringLiteral("spreadsheet"), QString(),
          QStringLiteral("<office:spreadsheet>") + body + QStringLiteral("</office:spreadsheet>"));
}

} // namespace samples
