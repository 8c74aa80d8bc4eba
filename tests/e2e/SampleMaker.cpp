// tessarix-samples DIR: writes the sample material of the demo and the end-to-end
// tests: pictures, a small folder tree, a text article, and flat office documents
// (three pages with a picture, three sheets, two slides) that soffice turns into
// .docx, .xlsx and .pptx.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

namespace {

bool write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QImage picture(int w, int h, QColor a, QColor b, const QString &label)
{
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, a);
    g.setColorAt(1, b);
    p.fillRect(img.rect(), g);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(h / 8);
    p.setFont(f);
    p.drawText(img.rect(), Qt::AlignCenter, label);
    return img;
}

QByteArray pngBase64(const QImage &img)
{
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return bytes.toBase64();
}

const char *kNs =
    " xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
    " xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\""
    " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
    " xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\""
    " xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\""
    " xmlns:presentation=\"urn:oasis:names:tc:opendocument:xmlns:presentation:1.0\""
    " xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\""
    " xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\""
    " xmlns:xlink=\"http://www.w3.org/1999/xlink\" office:version=\"1.2\"";

QByteArray flat(const char *mime, const QByteArray &styles, const QByteArray &body)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document") + kNs
           + " office:mimetype=\"application/vnd.oasis.opendocument." + mime + "\">"
           + "<office:automatic-styles>" + styles + "</office:automatic-styles><office:body>" + body
           + "</office:body></office:document>\n";
}

QByteArray frame(const QByteArray &b64, const char *anchor)
{
    return QByteArray("<draw:frame draw:name=\"pic\" text:anchor-type=\"") + anchor
           + "\" svg:width=\"4cm\" svg:height=\"3cm\"><draw:image><office:binary-data>" + b64
           + "</office:binary-data></draw:image></draw:frame>";
}

QByteArray textDocument(const QByteArray &b64)
{
    const QByteArray styles = "<style:style style:name=\"PB\" style:family=\"paragraph\">"
                              "<style:paragraph-properties fo:break-before=\"page\"/></style:style>";
    QByteArray body = "<office:text>";
    body += "<text:p>Annual report, page one.</text:p>";
    body += "<text:p text:style-name=\"PB\">Page two holds a picture: " + frame(b64, "as-char") + "</text:p>";
    body += "<text:p text:style-name=\"PB\">Page three, the last.</text:p>";
    body += "</office:text>";
    return flat("text", styles, body);
}

QByteArray spreadsheet(const QByteArray &b64)
{
    QByteArray body = "<office:spreadsheet>";
    const char *names[] = {"Sales", "Costs", "Notes"};
    for (int s = 0; s < 3; ++s) {
        body += QByteArray("<table:table table:name=\"") + names[s] + "\">";
        if (s == 0)
            body += "<table:shapes>" + frame(b64, "paragraph") + "</table:shapes>";
        for (int r = 1; r <= 3; ++r) {
            body += "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>"
                    + QByteArray(names[s]) + " " + QByteArray::number(r)
                    + "</text:p></table:table-cell><table:table-cell office:value-type=\"float\" office:value=\""
                    + QByteArray::number(r * 10) + "\"><text:p>" + QByteArray::number(r * 10)
                    + "</text:p></table:table-cell></table:table-row>";
        }
        body += "</table:table>";
    }
    body += "</office:spreadsheet>";
    return flat("spreadsheet", {}, body);
}

QByteArray presentation()
{
    QByteArray body = "<office:presentation>";
    for (int i = 1; i <= 2; ++i) {
        body += "<draw:page draw:name=\"s" + QByteArray::number(i) + "\"><draw:frame svg:x=\"2cm\" svg:y=\"2cm\" "
                "svg:width=\"20cm\" svg:height=\"4cm\"><draw:text-box><text:p>Slide "
                + QByteArray::number(i) + "</text:p></draw:text-box></draw:frame></draw:page>";
    }
    body += "</office:presentation>";
    return flat("presentation", {}, body);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: tessarix-samples DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    const QColor colours[][2] = {{Qt::darkBlue, Qt::cyan}, {Qt::darkGreen, Qt::yellow}, {Qt::darkRed, Qt::magenta}};
    const char *names[] = {"sea", "hills", "city"};
    QDir().mkpath(dir + QStringLiteral("/pictures"));
    for (int i = 0; i < 3; ++i)
        ok &= picture(800, 600, colours[i][0], colours[i][1], QString::fromLatin1(names[i]))
                  .save(dir + QStringLiteral("/pictures/%1.jpg").arg(QLatin1String(names[i])), "JPEG", 90);
    ok &= write(dir + QStringLiteral("/tree/a.txt"), "first file\n");
    ok &= write(dir + QStringLiteral("/tree/b.txt"), "second file\n");
    ok &= write(dir + QStringLiteral("/tree/s/c.txt"), "in a sub-folder\n");
    ok &= write(dir + QStringLiteral("/tree/s/t/d.bin"), QByteArray("\x00\x01\x02\xff", 4));
    ok &= write(dir + QStringLiteral("/article.txt"),
                QStringLiteral("标题：春季新闻\r\n作者：李\r\n\r\n第一段 文字。\r\n\r\nSecond  paragraph.\r\n").toUtf8());
    const QByteArray b64 = pngBase64(picture(160, 120, Qt::darkMagenta, Qt::green, QStringLiteral("P")));
    ok &= write(dir + QStringLiteral("/office/report.fodt"), textDocument(b64));
    ok &= write(dir + QStringLiteral("/office/book.fods"), spreadsheet(b64));
    ok &= write(dir + QStringLiteral("/office/talk.fodp"), presentation());
    if (!ok) {
        fprintf(stderr, "tessarix-samples: could not write the samples under %s\n", argv[1]);
        return 1;
    }
    return 0;
}
