#include "officeimport/HtmlCleaner.h"

#include "officeimport/LinkedPicture.h"

#include "core/AutomationError.h"
#include "core/Pump.h"
#include "core/TempFolder.h"
#include "util/Text.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <array>

namespace tx {
namespace {

using util::trimSpaces;

constexpr QStringView kImageData = u"v:imagedata";
constexpr QStringView kComment = u"!--";
constexpr QStringView kCommentStart = u"<!--";

// The characters that end a token inside a tag, or open a quoted run.
constexpr auto kEndsToken = [] {
    std::array<bool, 0x80> t{};
    for (char c : {'"', '\'', '>', '<', ' ', '\t', '\r', '\n'})
        t[size_t(c)] = true;
    return t;
}();

// Inline and size first: the names compared here are short, and most differ in size.
bool same(QStringView a, QStringView b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

// The same in any letter case, lowering `a` unit by unit; `b` is lower case.
bool sameLowered(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (util::lowerUnit(a[i]) != b[i])
            return false;
    return true;
}

// `path` is `folder` or lies below it; both cleaned.
bool isInside(const QString &path, QString folder)
{
    // No folder: the current one, which a relative path stays in unless it climbs.
    if (folder.isEmpty())
        return !path.startsWith(QLatin1Char('/')) && path != QLatin1String("..")
            && !path.startsWith(QLatin1String("../"));
    folder = QDir::cleanPath(folder);
    if (path == folder)
        return true;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return path.startsWith(folder);
}

bool hasColon(QStringView text)
{
    return std::find(text.begin(), text.end(), QLatin1Char(':')) != text.end();
}

// What the clean does with a tag, decided once from its name.
enum class NameKind { Other, Dropped, Skipped, Body, BodyEnd, Title, TitleEnd, Picture };

NameKind classify(QStringView name)
{
    if (name.isEmpty())
        return NameKind::Other;
    // Office markup that leaves no trace in the body: namespaced elements (but the
    // picture inside a drawing), comments, the xml declaration and the conditional
    // markers around list numbers.
    if (name.front() == QLatin1Char('!') || same(name, u"?xml"))
        return NameKind::Dropped;
    if (hasColon(name))
        return same(name, kImageData) ? NameKind::Picture : NameKind::Dropped;
    switch (name.size()) {
    case 3:
        return same(name, u"img") ? NameKind::Picture : NameKind::Other;
    case 4:
        return same(name, u"body") ? NameKind::Body : NameKind::Other;
    case 5:
        if (same(name, u"title"))
            return NameKind::Title;
        if (same(name, u"/body"))
            return NameKind::BodyEnd;
        // Head elements whose content is never text of the document.
        return same(name, u"style") ? NameKind::Skipped : NameKind::Other;
    case 6:
        if (same(name, u"/title"))
            return NameKind::TitleEnd;
        return same(name, u"script") || same(name, u"iframe") || same(name, u"select") ? NameKind::Skipped
                                                                                        : NameKind::Other;
    case 8:
        return same(name, u"textarea") ? NameKind::Skipped : NameKind::Other;
    default:
        return NameKind::Other;
    }
}

// Attributes that no rebuilt tag keeps; `key` in any letter case.
bool isDroppedAttribute(QStringView key)
{
    return sameLowered(key, u"class") || sameLowered(key, u"lang") || sameLowered(key, u"style")
        || hasColon(key);
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

qsizetype HtmlCleaner::indexOf(QChar c, qsizetype from, qsizetype before) const
{
    const qsizetype i = slice(from, before - 1).indexOf(c);
    return i < 0 ? 0 : std::max<qsizetype>(from, 1) + i;
}

qsizetype HtmlCleaner::lowerIndexOf(QStringView what, qsizetype from) const
{
    // "</" has no case, so it finds the candidates quickly; each is then checked
    // over the name's few units.
    const QStringView source(strSourceHtml);
    const QStringView lead = what.left(2);
    for (qsizetype i = source.indexOf(lead, std::max<qsizetype>(from, 1) - 1); i >= 0;
         i = source.indexOf(lead, i + 1)) {
        if (source.size() - i < what.size())
            return 0;
        qsizetype k = lead.size();
        while (k < what.size() && util::lowerUnit(source[i + k]) == what[k])
            ++k;
        if (k == what.size())
            return i + 1;
    }
    return 0;
}

Tag HtmlCleaner::NextTag()
{
    qsizetype length = 0;
    Tag tag;
    scanTag(tag, length);
    if (length > 0)
        tag.SourceHTML = slice(lngScanPos, lngScanPos + length - 1).toString();
    return tag;
}

void HtmlCleaner::scanTag(Tag &tag, qsizetype &length)
{
    tag.pTagName.clear();
    tag.SourceHTML.clear();
    tag.dicAtt.clear();
    length = 0;
    const qsizetype sourceLength = strSourceHtml.size();
    // Text between tags: only a "<" matters, so jump to it. Without one the scan
    // position stays; with one it is left at the "<", complete tag or not.
    const qsizetype tagStart = indexOf(QLatin1Char('<'), lngScanPos, sourceLength + 1);
    if (tagStart == 0)
        return;
    lngScanPos = tagStart;
    if (slice(tagStart, tagStart + 3) == kCommentStart) {
        // Nothing inside a comment counts, quotes and ">" included.
        tag.pTagName = kComment.toString();
        const qsizetype e = indexOf(u"-->", tagStart + 4, sourceLength + 1);
        length = (e > 0 ? e + 2 : sourceLength) - tagStart + 1;
        return;
    }
    qsizetype segStart = tagStart + 1;
    bool nameTaken = false;
    for (qsizetype i = tagStart + 1; i <= sourceLength; ++i) {
        const char16_t c = at(i).unicode();
        if (c >= 0x80 || !kEndsToken[c])
            continue;
        switch (c) {
        case u'"':
        case u'\'': {
            // A quote opens a quoted run wherever it stands; nothing inside it
            // counts until the same quote closes it.
            const qsizetype close = indexOf(QChar(c), i + 1, sourceLength + 1);
            if (close == 0)
                return;
            ParseTagToken(tag, segStart, close, i, nameTaken);
            i = close;
            break;
        }
        case u'>':
            ParseTagToken(tag, segStart, i, -1, nameTaken);
            length = i - tagStart + 1;
            return;
        case u'<':
            // A stray "<" inside a tag: the next token names the tag again.
            nameTaken = false;
            break;
        default: // space, tab, carriage return, line feed
            ParseTagToken(tag, segStart, i, -1, nameTaken);
            break;
        }
    }
}

void HtmlCleaner::ParseTagToken(Tag &tag, qsizetype &segStart, qsizetype end, qsizetype quotePos,
                                bool &nameTaken)
{
    const QStringView token = trimSpaces(slice(segStart, end - 1));
    if (!token.isEmpty()) {
        if (!nameTaken) {
            tag.pTagName = tokens.lower(token);
            nameTaken = true;
        } else {
            // The first "=" only counts inside the token (before the quote when
            // there is one); looking further would make no difference but time.
            const bool quoted = quotePos >= 1;
            const qsizetype e = indexOf(QLatin1Char('='), segStart, quoted ? quotePos : end);
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
            name = trimSpaces(name);
            // The clean never writes these back, so it need not keep them.
            if (keepAllAttributes || !isDroppedAttribute(name))
                tag.dicAtt.set(tokens.lower(name), tokens.text(trimSpaces(value)));
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
    qsizetype length = 0;
    Tag t;
    scanTag(t, length);
    // An unfinished tag ends the walk too: it could never be passed.
    while (t.TagName() != endName && !t.TagName().isEmpty() && length > 0) {
        lngScanPos += length;
        scanTag(t, length);
    }
    lngScanPos += length;
}

QString HtmlCleaner::RebuildTag(const Tag &tag)
{
    QString out;
    appendRebuilt(out, tag, classify(tag.pTagName) == NameKind::Picture);
    return out;
}

void HtmlCleaner::appendRebuilt(QString &out, const Tag &tag, bool picture)
{
    const QString &name = tag.pTagName;
    out += QLatin1Char('<');
    out += name;
    for (const auto &[key, value] : tag.dicAtt.items()) {
        if (isDroppedAttribute(key))
            continue;
        out += QLatin1Char(' ');
        out += key;
        out += QLatin1String("=\"");
        appendValue(out, picture && same(key, u"src") ? UploadPicture(tag) : value);
        out += QLatin1Char('"');
    }
    out += QLatin1Char('>');
}

QString HtmlCleaner::escapeAttribute(const QString &value)
{
    QString out;
    appendValue(out, value);
    return out;
}

QString HtmlCleaner::picturePath(const QString &src) const
{
    static const QRegularExpression web(QStringLiteral("^(https?|data):"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    if (web.match(src).hasMatch())
        return {};
    const auto refuse = [&src] { return runtimeError(ErrPermissionDenied, src); };
    if (scheme.match(src).hasMatch())
        throw refuse();
    // The office writes a linked picture's path as a URL (spaces and CJK
    // percent-encoded); decoded first, so the checks below see the real path.
    QString relative = QString::fromUtf8(QByteArray::fromPercentEncoding(src.toUtf8()));
    relative.remove(QStringLiteral("./"));
    // "/" already is the platform's separator, so the rest of the source stays.
    const QString own = QDir::cleanPath(strPicFolder + relative);
    QString root = strPicRoot;
    if (root.isEmpty())
        root = strPicFolder.left(strPicFolder.lastIndexOf(QLatin1Char('/')) + 1);
    QString found;
    bool linked = false;
    if (isInside(own, root)) {
        found = own;
    } else if (!strDocFolder.isEmpty()) {
        // The office resolved the link against the work copy, which lies in the
        // work folder; the user's link was relative to the document itself.
        root = strDocFolder;
        linked = true;
        found = QDir::cleanPath(strDocFolder + QLatin1Char('/') + relative);
        if (!isInside(found, root))
            throw refuse();
    } else {
        throw refuse();
    }
    // A symbolic link must not lead out either.
    const QFileInfo info(found);
    if (info.exists()
        && !isInside(info.canonicalFilePath(), QFileInfo(root.isEmpty() ? QStringLiteral(".") : root).canonicalFilePath()))
        throw refuse();
    // Any file beside the document could be named: only a picture goes.
    if (linked)
        checkLinkedPicture(found, src);
    return found;
}

QString HtmlCleaner::UploadPicture(const Tag &tag)
{
    const QString src = tag.GetAttribute(QStringLiteral("src"));
    const QString localFile = picturePath(src);
    if (localFile.isEmpty())
        return src;
    if (!uploadPicture)
        throw runtimeError(ErrObjectNotSet, QStringLiteral("no picture upload for %1").arg(localFile));
    uploadedSinceCheck = true; // an upload waits in the event loop: time to look at the clock
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
    // Office markup is most of the source: the body is rarely longer than half.
    strCleanBody.reserve(strSourceHtml.size() / 2);
    lngScanPos = 1;
    bInBody = false;
    bInTitle = false;
    bHasTitle = false;
    sincePump.start();
    uploadedSinceCheck = false;
    qsizetype tags = 0;

    // The text between the copy mark and the tag. Cut only where it is used:
    // cutting it for every tag inside an unclosed title would take quadratic time.
    const auto run = [this] { return trimSpaces(slice(lngCopyMark, lngScanPos - 1)); };

    struct KeepAll {
        bool &flag;
        ~KeepAll() { flag = true; }
    } restore{keepAllAttributes};
    keepAllAttributes = false;

    qsizetype length = 0;
    Tag tag; // one for the whole clean, so that its storage is reused
    scanTag(tag, length);
    for (;;) {
        if (length == 0) {
            if (bInBody)
                strCleanBody += slice(lngCopyMark, lngScanPos - 1);
            return;
        }
        const NameKind kind = classify(tag.pTagName);
        if (bInTitle) {
            // Tags inside the title stay behind the copy mark and so become title text.
            if (kind == NameKind::TitleEnd) {
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
            if (kind == NameKind::BodyEnd)
                bInBody = false;
            else if (kind != NameKind::Dropped)
                appendRebuilt(strCleanBody, tag, kind == NameKind::Picture);
        } else if (kind == NameKind::Skipped) {
            lngScanPos += length;
            SkipElement(tag);
            lngCopyMark = lngScanPos;
        } else {
            if (kind == NameKind::Body)
                bInBody = true;
            else if (kind == NameKind::Title)
                bInTitle = true;
            lngScanPos += length;
            lngCopyMark = lngScanPos;
        }
        // Reading the clock for every tag would cost more than the tag.
        if (pump && (++tags % 32 == 0 || uploadedSinceCheck)) {
            uploadedSinceCheck = false;
            if (sincePump.elapsed() >= kPumpIntervalMs) {
                pump();
                sincePump.restart();
            }
        }
        scanTag(tag, length);
    }
}

} // namespace tx
