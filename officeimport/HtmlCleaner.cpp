#include "officeimport/HtmlCleaner.h"

#include "platform/AutomationError.h"
#include "platform/Pump.h"
#include "platform/TempFolder.h"
#include "util/Text.h"

namespace tx {
namespace {

using util::trimSpaces;

// Office markup that leaves no trace in the body: namespaced elements (but the
// picture inside a drawing), comments, the xml declaration and the conditional
// markers around list numbers.
bool isDropped(const QString &name)
{
    return (name.contains(QLatin1Char(':')) && name != u"v:imagedata") || name == u"!--"
        || name == u"?xml" || name.startsWith(QLatin1Char('!'));
}

// Head elements whose content is never text of the document.
bool isSkipped(const QString &name)
{
    return name == u"style" || name == u"script" || name == u"iframe" || name == u"textarea"
        || name == u"select";
}

bool isDroppedAttribute(const QString &key)
{
    return key == u"class" || key == u"lang" || key == u"style" || key.contains(QLatin1Char(':'));
}

// A double quote would end the value early and break the tag.
void appendValue(QString &out, const QString &value)
{
    if (!value.contains(QLatin1Char('"'))) {
        out += value;
        return;
    }
    for (QChar c : value) {
        if (c == QLatin1Char('"'))
            out += QLatin1String("&quot;");
        else
            out += c;
    }
}

} // namespace

HtmlCleaner::HtmlCleaner() : pump(&pump::once) {}

QStringView HtmlCleaner::slice(qsizetype from, qsizetype to) const
{
    from = std::max<qsizetype>(from, 1);
    to = std::min<qsizetype>(to, strSourceHtml.size());
    if (to < from)
        return {};
    return QStringView(strSourceHtml).sliced(from - 1, to - from + 1);
}

qsizetype HtmlCleaner::indexOf(QStringView what, qsizetype from, qsizetype before) const
{
    const qsizetype i = slice(from, before - 1).indexOf(what);
    return i < 0 ? 0 : std::max<qsizetype>(from, 1) + i;
}

qsizetype HtmlCleaner::indexOf(QChar c, qsizetype from) const
{
    const qsizetype i = strSourceHtml.indexOf(c, std::max<qsizetype>(from, 1) - 1);
    return i < 0 ? 0 : i + 1;
}

qsizetype HtmlCleaner::lowerIndexOf(QStringView what, qsizetype from) const
{
    const qsizetype i = strLowerHtml.indexOf(what, std::max<qsizetype>(from, 1) - 1);
    return i < 0 ? 0 : i + 1;
}

Tag HtmlCleaner::NextTag()
{
    Tag tag;
    const qsizetype length = strSourceHtml.size();
    qsizetype i = lngScanPos;
    qsizetype tagStart = i;
    qsizetype segStart = i;
    qsizetype quotePos = -1;
    bool inTag = false;
    bool inQuote = false;
    bool nameTaken = false;
    bool comment = false;
    QChar quoteChar;
    while (i <= length) {
        if (!inTag) {
            // Text between tags: only a "<" matters, so jump to it.
            const qsizetype lt = indexOf(QLatin1Char('<'), i);
            if (lt == 0)
                break;
            i = lt;
            tagStart = i;
            segStart = i + 1;
            inTag = true;
            comment = slice(i, i + 3) == u"<!--";
            ++i;
            continue;
        }
        if (comment && i - tagStart >= 3) {
            // Nothing inside a comment counts, quotes and ">" included.
            tag.setTagName(QStringLiteral("!--"));
            const qsizetype e = indexOf(u"-->", tagStart + 4, length + 1);
            tag.SourceHTML = (e > 0 ? slice(tagStart, e + 2) : slice(tagStart, length)).toString();
            lngScanPos = tagStart;
            return tag;
        }
        const QChar c = at(i);
        if (inQuote) {
            if (c == quoteChar) {
                inQuote = false;
                ParseTagToken(tag, segStart, i, quotePos, nameTaken);
                quotePos = -1;
            }
        } else {
            switch (c.unicode()) {
            case u'"':
            case u'\'':
                inQuote = true;
                quotePos = i;
                quoteChar = c;
                break;
            case u'>':
                ParseTagToken(tag, segStart, i, quotePos, nameTaken);
                tag.SourceHTML = slice(tagStart, i).toString();
                lngScanPos = tagStart;
                return tag;
            case u'<':
                // A stray "<" inside a tag: the next token names the tag again.
                nameTaken = false;
                break;
            case u' ':
            case u'\t':
            case u'\r':
            case u'\n':
                ParseTagToken(tag, segStart, i, quotePos, nameTaken);
                break;
            default:
                break;
            }
        }
        ++i;
    }
    lngScanPos = tagStart;
    return tag;
}

void HtmlCleaner::ParseTagToken(Tag &tag, qsizetype &segStart, qsizetype end, qsizetype quotePos,
                                bool &nameTaken) const
{
    const QStringView token = trimSpaces(slice(segStart, end - 1));
    if (!token.isEmpty()) {
        if (!nameTaken) {
            tag.setTagName(token.toString());
            nameTaken = true;
        } else {
            // The first "=" only counts inside the token (before the quote when
            // there is one); looking further would make no difference but time.
            const bool quoted = quotePos >= 1;
            const qsizetype e = indexOf(u"=", segStart, quoted ? quotePos : end);
            QStringView name = token;
            QStringView value;
            if (e > 0) {
                name = slice(segStart, e - 1);
                if (quoted) {
                    value = slice(quotePos + 1, end - 1);
                    if (value.startsWith(QLatin1Char('"')))
                        value = value.sliced(1);
                } else {
                    value = slice(e + 1, end - 1);
                }
            }
            tag.SetAttribute(trimSpaces(name).toString(), trimSpaces(value).toString());
        }
    }
    segStart = end + 1;
}

void HtmlCleaner::SkipElement(const Tag &tag)
{
    const QString name = tag.TagName();
    const qsizetype endTag = lowerIndexOf(QString(QStringLiteral("</") + name), lngScanPos);
    if (endTag == 0)
        throw runtimeError(ErrInvalidCall, QStringLiteral("the \"%1\" element has no end tag").arg(name));
    lngScanPos = endTag;
    const QString endName = QLatin1Char('/') + name;
    Tag t = NextTag();
    // An unfinished tag ends the walk too: it could never be passed.
    while (t.TagName() != endName && !t.TagName().isEmpty() && !t.SourceHTML.isEmpty()) {
        lngScanPos += t.SourceHTML.size();
        t = NextTag();
    }
    lngScanPos += t.SourceHTML.size();
}

QString HtmlCleaner::RebuildTag(const Tag &tag)
{
    const QString name = tag.TagName();
    const bool picture = name == u"img" || name == u"v:imagedata";
    QString out = QLatin1Char('<') + name;
    for (const auto &[key, value] : tag.dicAtt.items()) {
        if (isDroppedAttribute(key))
            continue;
        out += QLatin1Char(' ');
        out += key;
        out += QLatin1String("=\"");
        appendValue(out, picture && key == u"src" ? UploadPicture(tag) : value);
        out += QLatin1Char('"');
    }
    out += QLatin1Char('>');
    return out;
}

QString HtmlCleaner::UploadPicture(const Tag &tag)
{
    QString src = tag.GetAttribute(QStringLiteral("src"));
    src.remove(QStringLiteral("./"));
    // "/" already is the platform's separator, so the rest of the source stays.
    const QString localFile = strPicFolder + src;
    if (!uploadPicture)
        throw runtimeError(ErrObjectNotSet, QStringLiteral("no picture upload for %1").arg(localFile));
    return uploadPicture(strCurPath, localFile, lngContentId);
}

QString HtmlCleaner::GetTempFolder()
{
    return temp::folder();
}

void HtmlCleaner::CleanHtml()
{
    lngCopyMark = 1;
    strCleanBody.clear();
    strLowerHtml = util::lowerUnits(strSourceHtml);
    lngScanPos = 1;
    bInBody = false;
    bInTitle = false;
    bHasTitle = false;
    sincePump.start();

    // The text between the copy mark and the tag. Cut only where it is used:
    // cutting it for every tag inside an unclosed title would take quadratic time.
    const auto run = [this] { return trimSpaces(slice(lngCopyMark, lngScanPos - 1)); };

    Tag tag = NextTag();
    for (;;) {
        if (tag.SourceHTML.isEmpty()) {
            if (bInBody)
                strCleanBody += slice(lngCopyMark, lngScanPos - 1);
            return;
        }
        const QString name = tag.TagName();
        const qsizetype length = tag.SourceHTML.size();
        if (bInTitle) {
            // Tags inside the title stay behind the copy mark and so become title text.
            if (name == u"/title") {
                strTitle += run();
                bHasTitle = true;
                bInTitle = false;
                lngScanPos += length;
                lngCopyMark = lngScanPos;
            } else {
                lngScanPos += length;
            }
        } else if (bInBody) {
            const QStringView text = run();
            if (!text.isEmpty() && !bHasTitle) {
                strTitle = text.toString();
                bHasTitle = true;
            } else {
                strCleanBody += text;
            }
            lngScanPos += length;
            lngCopyMark = lngScanPos;
            if (name == u"/body") {
                bInBody = false;
            } else if (!isDropped(name)) {
                tag.SourceHTML = RebuildTag(tag);
                strCleanBody += tag.SourceHTML;
            }
        } else if (isSkipped(name)) {
            lngScanPos += length;
            SkipElement(tag);
            lngCopyMark = lngScanPos;
        } else {
            if (name == u"body")
                bInBody = true;
            else if (name == u"title")
                bInTitle = true;
            lngScanPos += length;
            lngCopyMark = lngScanPos;
        }
        if (pump && sincePump.elapsed() >= kPumpIntervalMs) {
            pump();
            sincePump.restart();
        }
        tag = NextTag();
    }
}

} // namespace tx
