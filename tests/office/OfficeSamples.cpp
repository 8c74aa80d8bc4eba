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
    "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
    "xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
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

void writeSpreadsheet(const QString &path, const QStringList &names, int pictureSheet, int hiddenSheet)
{
    QString body;
    for (int i = 1; i <= names.size(); ++i) {
        body += QStringLiteral("<table:table table:name=\"%1\"%2>")
                    .arg(names[i - 1], i == hiddenSheet ? QStringLiteral(" table:style-name=\"Hidden\"") : QString());
        if (i == pictureSheet)
            body += QStringLiteral("<table:shapes>") + picture(QStringLiteral("svg:x=\"1cm\" svg:y=\"1cm\""))
                + QStringLiteral("</table:shapes>");
        body += QStringLiteral("<table:table-row><table:table-cell office:value-type=\"string\">"
                               "<text:p>Marker sheet %1</text:p></table:table-cell></table:table-row>"
                               "</table:table>")
                    .arg(i);
    }
    write(path, QStringLiteral("spreadsheet"),
          QStringLiteral("<office:automatic-styles><style:style style:name=\"Hidden\" style:family=\"table\">"
                         "<style:table-properties table:display=\"false\"/></style:style></office:automatic-styles>"),
          QStringLiteral("<office:spreadsheet>") + body + QStringLiteral("</office:spreadsheet>"));
}

void writeFeature(const QString &path, const QString &feature)
{
    const QString marker = QStringLiteral("Marker ") + feature;
    QString body;
    if (feature == u"comments")
        body = QStringLiteral("<text:p>%1<office:annotation><dc:creator>Reviewer</dc:creator>"
                              "<dc:date>2020-01-01T00:00:00</dc:date><text:p>A remark</text:p></office:annotation>"
                              " and more</text:p>").arg(marker);
    else if (feature == u"footnotes" || feature == u"endnotes")
        body = QStringLiteral("<text:p>%1<text:note text:id=\"n1\" text:note-class=\"%2\">"
                              "<text:note-citation>1</text:note-citation><text:note-body><text:p>The note</text:p>"
                              "</text:note-body></text:note></text:p>")
                   .arg(marker, feature.chopped(1));
    else if (feature == u"lists")
        body = QStringLiteral("<text:p>%1</text:p><text:list><text:list-item><text:p>Item one</text:p></text:list-item>"
                              "<text:list-item><text:p>Item two</text:p></text:list-item></text:list>").arg(marker);
    else if (feature == u"tables")
        body = QStringLiteral("<text:p>%1</text:p><table:table table:name=\"T\"><table:table-column "
                              "table:number-columns-repeated=\"2\"/><table:table-row><table:table-cell>"
                              "<text:p>Cell A</text:p></table:table-cell><table:table-cell><text:p>Cell B</text:p>"
                              "</table:table-cell></table:table-row></table:table>").arg(marker);
    else if (feature == u"textboxes")
        body = QStringLiteral("<text:p>%1<draw:frame text:anchor-type=\"paragraph\" svg:width=\"4cm\" "
                              "svg:height=\"2cm\"><draw:text-box><text:p>Boxed text</text:p></draw:text-box>"
                              "</draw:frame></text:p>").arg(marker);
    else if (feature == u"picture")
        body = QStringLiteral("<text:p>%1</text:p><text:p>").arg(marker)
            + picture(QStringLiteral("text:anchor-type=\"as-char\"")) + QStringLiteral("</text:p>");
    write(path, QStringLiteral("text"), QString(),
          QStringLiteral("<office:text>") + body + QStringLiteral("</office:text>"));
}

void writeProse(const QString &path, int paragraphs, bool features)
{
    static const char *const words[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf",
                                        "hotel", "india", "juliet", "kilo", "lima", "mike", "november"};
    QString body;
    for (int p = 1; p <= paragraphs; ++p) {
        QString text = QStringLiteral("Paragraph %1:").arg(p);
        for (int w = 0; w < 100; ++w) {
            text += QLatin1Char(' ');
            if (features && p % 7 == 3 && w == 40)
                text += QStringLiteral("<text:span text:style-name=\"B\">");
            if (features && p % 7 == 3 && w == 95)
                text += QStringLiteral("</text:span>");
            text += QLatin1String(words[(p * 31 + w * 7) % 14]);
        }
        if (features && p % 5 == 0)
            text += QStringLiteral("<text:note text:id=\"f%1\" text:note-class=\"footnote\"><text:note-citation>x"
                                   "</text:note-citation><text:note-body><text:p>Note of %1</text:p></text:note-body>"
                                   "</text:note>").arg(p);
        if (features && p == paragraphs / 2)
            text += QStringLiteral("<text:note text:id=\"e1\" text:note-class=\"endnote\"><text:note-citation>i"
                                   "</text:note-citation><text:note-body><text:p>Endnote of %1</text:p></text:note-body>"
                                   "</text:note>").arg(p);
        if (features && p % 11 == 4)
            text += QStringLiteral(" <text:a xlink:type=\"simple\" xlink:href=\"https://example.org/%1\">link %1</text:a>").arg(p);
        body += QStringLiteral("<text:p>") + text + QStringLiteral("</text:p>");
        if (features && p == 6)
            body += QStringLiteral("<text:list><text:list-item><text:p>Listed one</text:p></text:list-item>"
                                   "<text:list-item><text:p>Listed two</text:p></text:list-item></text:list>");
        if (features && p == 9)
            body += QStringLiteral("<table:table table:name=\"T\"><table:table-column table:number-columns-repeated=\"2\"/>"
                                   "<table:table-row><table:table-cell><text:p>Cell A</text:p></table:table-cell>"
                                   "<table:table-cell><text:p>Cell B</text:p></table:table-cell></table:table-row></table:table>");
        if (features && p == 13)
            body += QStringLiteral("<text:p>Pictured ") + picture(QStringLiteral("text:anchor-type=\"as-char\""))
                + QStringLiteral("</text:p>");
    }
    const QString styles = QStringLiteral("<office:automatic-styles><style:style style:name=\"B\" style:family=\"text\">"
                                          "<style:text-properties fo:font-weight=\"bold\"/></style:style></office:automatic-styles>");
    const QString master = features ? QStringLiteral("<office:master-styles><style:master-page style:name=\"Standard\">"
                                                     "<style:header><text:p>Running head</text:p></style:header>"
                                                     "<style:footer><text:p>Running foot</text:p></style:footer>"
                                                     "</style:master-page></office:master-styles>")
                                    : QString();
    write(path, QStringLiteral("text"), styles + master,
          QStringLiteral("<office:text>") + body + QStringLiteral("</office:text>"));
}

void writeMixed(const QString &path)
{
    const QString body =
        QStringLiteral("<table:table table:name=\"T0\"><table:table-column/><table:table-row><table:table-cell>"
                       "<text:p>Cell 0</text:p></table:table-cell></table:table-row></table:table>"
                       "<text:p>Marker page 1</text:p>"
                       "<text:p%1>Marker page 2<text:note text:id=\"n1\" text:note-class=\"footnote\">"
                       "<text:note-citation>1</text:note-citation><text:note-body><text:p>The note</text:p>"
                       "</text:note-body></text:note></text:p>"
                       "<text:p%1>Marker page 3</text:p><text:list><text:list-item><text:p>Listed</text:p>"
                       "</text:list-item></text:list>"
                       "<table:table table:name=\"T\" table:style-name=\"TB\"><table:table-column "
                       "table:number-columns-repeated=\"2\"/>"
                       "<table:table-row><table:table-cell><text:p>Cell A</text:p></table:table-cell>"
                       "<table:table-cell><text:p>Cell B</text:p></table:table-cell></table:table-row>"
                       "</table:table><text:p>Marker page 4</text:p>")
            .arg(QStringLiteral(" text:style-name=\"PB\""));
    write(path, QStringLiteral("text"),
          QStringLiteral("<office:automatic-styles><style:style style:name=\"PB\" style:family=\"paragraph\">"
                         "<style:paragraph-properties fo:break-before=\"page\"/></style:style>"
                         "<style:style style:name=\"TB\" style:family=\"table\"><style:table-properties "
                         "style:width=\"10cm\" fo:break-before=\"page\"/></style:style></office:automatic-styles>"),
          QStringLiteral("<office:text>") + body + QStringLiteral("</office:text>"));
}

namespace {

quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void le(QByteArray &out, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char((v >> (8 * i)) & 0xFF);
}

// A zip archive of stored (uncompressed) entries, as an OOXML package may be.
QByteArray storedZip(const QList<QPair<QByteArray, QByteArray>> &entries)
{
    QByteArray out, directory;
    for (const auto &[name, data] : entries) {
        const quint32 offset = quint32(out.size());
        const quint32 crc = crc32(data);
        QByteArray common;
        le(common, 20, 2); // version needed
        le(common, 0, 2);  // flags
        le(common, 0, 2);  // stored
        le(common, 0, 4);  // time and date
        le(common, crc, 4);
        le(common, quint32(data.size()), 4);
        le(common, quint32(data.size()), 4);
        le(common, quint32(name.size()), 2);
        le(common, 0, 2); // extra
        le(out, 0x04034b50, 4);
        out += common + name + data;
        le(directory, 0x02014b50, 4);
        le(directory, 20, 2); // made by
        directory += common;
        le(directory, 0, 2); // comment
        le(directory, 0, 2); // disk
        le(directory, 0, 2); // internal attributes
        le(directory, 0, 4); // external attributes
        le(directory, offset, 4);
        directory += name;
    }
    const quint32 at = quint32(out.size());
    out += directory;
    le(out, 0x06054b50, 4);
    le(out, 0, 4);
    le(out, quint32(entries.size()), 2);
    le(out, quint32(entries.size()), 2);
    le(out, quint32(directory.size()), 4);
    le(out, at, 4);
    le(out, 0, 2);
    return out;
}

} // namespace

namespace {

// A .docx with comments as Word writes them: a ranged comment with a reply
// inside page 1, a comment without a range (a point), and a ranged one
// running over the page break into page 2.
void writeCommentedDocx(const QString &path)
{
    const QByteArray ns = " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""
                          " xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/wordml\""
                          " xmlns:w15=\"http://schemas.microsoft.com/office/word/2012/wordml\"";
    const auto ref = [](int id) {
        return "<w:r><w:commentReference w:id=\"" + QByteArray::number(id) + "\"/></w:r>";
    };
    const QByteArray document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document" + ns + "><w:body>"
        "<w:p><w:r><w:t xml:space=\"preserve\">Marker page 1 </w:t></w:r><w:commentRangeStart w:id=\"0\"/>"
        "<w:commentRangeStart w:id=\"1\"/><w:r><w:t>ranged</w:t></w:r><w:commentRangeEnd w:id=\"0\"/>"
        "<w:commentRangeEnd w:id=\"1\"/>" + ref(0) + ref(1) +
        "<w:r><w:t xml:space=\"preserve\"> and a point</w:t></w:r>" + ref(2) + "</w:p>"
        "<w:p><w:commentRangeStart w:id=\"3\"/><w:r><w:t>Across</w:t></w:r><w:r><w:br w:type=\"page\"/></w:r>"
        "<w:r><w:t xml:space=\"preserve\">Marker page 2 </w:t></w:r><w:commentRangeEnd w:id=\"3\"/>" + ref(3) +
        "</w:p></w:body></w:document>";
    QByteArray comments = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:comments" + ns + ">";
    const char *const texts[] = {"First remark", "A reply", "Point remark", "Spanning remark"};
    for (int id = 0; id < 4; ++id)
        comments += "<w:comment w:id=\"" + QByteArray::number(id) + "\" w:author=\"Reviewer\" w:date=\"2020-01-01T00:00:00Z\">"
                    "<w:p w14:paraId=\"0000000" + QByteArray::number(id + 1) + "\"><w:r><w:t>" + texts[id]
                    + "</w:t></w:r></w:p></w:comment>";
    comments += "</w:comments>";
    const QByteArray extended = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w15:commentsEx" + ns
        + "><w15:commentEx w15:paraId=\"00000001\" w15:done=\"0\"/><w15:commentEx w15:paraId=\"00000002\" "
          "w15:paraIdParent=\"00000001\" w15:done=\"0\"/><w15:commentEx w15:paraId=\"00000003\" w15:done=\"0\"/>"
          "<w15:commentEx w15:paraId=\"00000004\" w15:done=\"0\"/></w15:commentsEx>";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const QByteArray rels = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Relationships xmlns=\""
                            "http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
                            "Type=\"" + rel + "/officeDocument\" Target=\"word/document.xml\"/></Relationships>";
    const QByteArray docRels = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Relationships xmlns=\""
                               "http://schemas.openxmlformats.org/package/2006/relationships\">"
                               "<Relationship Id=\"rIdC\" Type=\"" + rel + "/comments\" Target=\"comments.xml\"/>"
                               "<Relationship Id=\"rIdX\" Type=\"http://schemas.microsoft.com/office/2011/relationships/"
                               "commentsExtended\" Target=\"commentsExtended.xml\"/></Relationships>";
    const QByteArray types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
        "content-types\"><Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\"/word/document.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
        "<Override PartName=\"/word/comments.xml\" ContentType=\"application/vnd.openxmlformats-officedocument."
        "wordprocessingml.comments+xml\"/><Override PartName=\"/word/commentsExtended.xml\" ContentType=\""
        "application/vnd.openxmlformats-officedocument.wordprocessingml.commentsExtended+xml\"/></Types>";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(storedZip({{"[Content_Types].xml", types}, {"_rels/.rels", rels}, {"word/document.xml", document},
                       {"word/_rels/document.xml.rels", docRels}, {"word/comments.xml", comments},
                       {"word/commentsExtended.xml", extended}}));
}

} // namespace

void writeDocx(const QString &path, const QString &kind)
{
    if (kind == u"commented") {
        writeCommentedDocx(path);
        return;
    }
    const bool strict = kind == u"strict";
    const QByteArray w = strict ? "http://purl.oclc.org/ooxml/wordprocessingml/main"
                                : "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
    const QByteArray r = strict ? "http://purl.oclc.org/ooxml/officeDocument/relationships"
                                : "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const QByteArray marker = "Marker " + kind.toUtf8();
    // A link is a URL: a name with a space or CJK in it is percent-encoded.
    const QByteArray linkTarget =
        kind == u"linked-cjk" ? QByteArray("tiny%20picture%20%E5%9B%BE.png") : QByteArray("tiny-picture.png");
    QByteArray picture;
    if (kind == u"counted") // a field showing the word count, as last saved (not a true figure)
        picture = "<w:fldSimple w:instr=\" NUMWORDS \"><w:r><w:t>12345</w:t></w:r></w:fldSimple>";
    else if (!strict)
        picture = "<w:r><w:drawing><wp:inline><wp:extent cx=\"381000\" cy=\"285750\"/><wp:docPr id=\"1\" name=\"tiny\"/>"
                  "<a:graphic><a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\">"
                  "<pic:pic><pic:nvPicPr><pic:cNvPr id=\"1\" name=\"tiny-picture.png\"/><pic:cNvPicPr/></pic:nvPicPr>"
                  "<pic:blipFill><a:blip r:link=\"rIdPic\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill>"
                  "<pic:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"381000\" cy=\"285750\"/></a:xfrm>"
                  "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></pic:spPr></pic:pic></a:graphicData></a:graphic>"
                  "</wp:inline></w:drawing></w:r>";
    const QByteArray document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document xmlns:w=\"" + w
        + "\" xmlns:r=\"" + r
        + "\" xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\""
          " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""
          " xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\""
        + (strict ? QByteArray(" w:conformance=\"strict\"") : QByteArray()) + "><w:body><w:p><w:r><w:t>" + marker
        + "</w:t></w:r></w:p><w:p>" + picture + "</w:p></w:body></w:document>";
    const QByteArray relType = r + "/officeDocument";
    const QByteArray rels = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Relationships xmlns=\""
                            "http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
                            "Type=\"" + relType + "\" Target=\"word/document.xml\"/></Relationships>";
    const QByteArray docRels = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Relationships xmlns=\""
                               "http://schemas.openxmlformats.org/package/2006/relationships\">"
        + (strict ? QByteArray()
                  : QByteArray("<Relationship Id=\"rIdPic\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
                               "2006/relationships/image\" Target=\"") + linkTarget + "\" TargetMode=\"External\"/>")
        + "</Relationships>";
    const QByteArray types = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Types xmlns=\""
                             "http://schemas.openxmlformats.org/package/2006/content-types\"><Default Extension=\"rels\" "
                             "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default "
                             "Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\"/word/document.xml\" "
                             "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
                             "</Types>";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(storedZip({{"[Content_Types].xml", types}, {"_rels/.rels", rels}, {"word/document.xml", document},
                       {"word/_rels/document.xml.rels", docRels}}));
}

} // namespace samples
