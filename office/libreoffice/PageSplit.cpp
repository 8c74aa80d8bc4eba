#include "PageSplit.h"

#include <QByteArrayView>
#include <QMap>

namespace tx::office::lo {
namespace {

constexpr QByteArrayView kMarkOpen = "\xEE\x80\x80";  // U+E000
constexpr QByteArrayView kMarkClose = "\xEE\x80\x81"; // U+E001

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isVoid(QByteArrayView name)
{
    static const char *const names[] = {"br", "img", "hr", "meta", "col", "input", "link", "area",
                                        "base", "wbr", "param", "source", "embed", "spacer", "basefont"};
    for (const char *n : names)
        if (name == QByteArrayView(n))
            return true;
    return false;
}

struct Token {
    enum Kind { Text, Open, Close, Void, Skip } kind = Text;
    qsizetype start = 0;
    qsizetype end = 0;
    QByteArray name; // lower case, for Open, Close and Void
};

// The end of the tag that starts at `at` (one past its ">"), quotes respected.
qsizetype tagEnd(const QByteArray &s, qsizetype at)
{
    char quote = 0;
    for (qsizetype i = at + 1; i < s.size(); ++i) {
        const char c = s[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return s.size();
}

Token next(const QByteArray &s, qsizetype at)
{
    Token t;
    t.start = at;
    const auto textTo = [&](qsizetype from) {
        qsizetype lt = s.indexOf('<', from);
        while (lt >= 0 && lt + 1 < s.size() && !isLetter(s[lt + 1]) && s[lt + 1] != '/' && s[lt + 1] != '!'
               && s[lt + 1] != '?')
            lt = s.indexOf('<', lt + 1);
        t.kind = Token::Text;
        t.end = lt < 0 ? s.size() : lt;
        return t;
    };
    if (s[at] != '<' || at + 1 >= s.size())
        return textTo(at + 1);
    const char c = s[at + 1];
    if (c == '!' || c == '?') {
        t.kind = Token::Skip;
        if (s.mid(at, 4) == "<!--") {
            const qsizetype e = s.indexOf("-->", at + 4);
            t.end = e < 0 ? s.size() : e + 3;
        } else {
            t.end = tagEnd(s, at);
        }
        return t;
    }
    const bool closing = c == '/';
    qsizetype n = at + (closing ? 2 : 1);
    if (n >= s.size() || !isLetter(s[n]))
        return textTo(at + 1);
    qsizetype e = n;
    while (e < s.size() && !isSpace(s[e]) && s[e] != '>' && s[e] != '/')
        ++e;
    t.name = s.mid(n, e - n).toLower();
    t.end = tagEnd(s, at);
    if (closing) {
        t.kind = Token::Close;
    } else if (isVoid(t.name) || (t.end >= 2 && s[t.end - 2] == '/')) {
        t.kind = Token::Void;
    } else if (t.name == "script" || t.name == "style") {
        // Raw text: nothing inside is markup.
        const qsizetype close = s.toLower().indexOf("</" + t.name, t.end);
        t.kind = Token::Skip;
        t.end = close < 0 ? s.size() : tagEnd(s, close);
    } else {
        t.kind = Token::Open;
    }
    return t;
}

// The elements open at a point of the text, outermost first.
struct OpenElement {
    QByteArray name;
    qsizetype start = 0;
    QByteArray tag;       // as written, to open it again on the next page
    bool content = false; // text or a picture inside, so far
};

struct Stack {
    QList<OpenElement> open;

    void closeElement(const QByteArray &name)
    {
        for (qsizetype k = open.size() - 1; k >= 0; --k) {
            if (open[k].name != name)
                continue;
            // An element whose end tag the export leaves out (li) ends with its parent.
            bool content = false;
            for (qsizetype j = k; j < open.size(); ++j)
                content = content || open[j].content;
            open.resize(k);
            if (content && !open.isEmpty())
                open.last().content = true;
            return;
        }
    }
    // The end tags the export leaves out are implied by the next sibling's
    // start (li, dt, dd, p); kept open, they would be opened again, empty, on
    // the next page.
    void openElement(OpenElement element)
    {
        const QByteArray &name = element.name;
        const auto implied = [&](std::initializer_list<const char *> same, std::initializer_list<const char *> scope) {
            for (qsizetype k = open.size() - 1; k >= 0; --k) {
                for (const char *n : scope)
                    if (open[k].name == QByteArrayView(n))
                        return;
                for (const char *n : same)
                    if (open[k].name == QByteArrayView(n)) {
                        closeElement(open[k].name);
                        return;
                    }
            }
        };
        if (name == "li")
            implied({"li"}, {"ul", "ol", "menu", "table", "td", "th"});
        else if (name == "dt" || name == "dd")
            implied({"dt", "dd"}, {"dl", "table", "td", "th"});
        else if (name == "p")
            implied({"p"}, {"div", "li", "dd", "dt", "blockquote", "table", "td", "th", "ul", "ol", "dl", "center"});
        open.append(std::move(element));
    }
    void sawContent()
    {
        if (!open.isEmpty())
            open.last().content = true;
    }
};

bool hasContent(QByteArrayView text)
{
    for (char c : text)
        if (!isSpace(c))
            return true;
    return false;
}

// The text with every page mark taken out.
QByteArray withoutMarks(QByteArray text)
{
    for (qsizetype at = text.indexOf(kMarkOpen); at >= 0; at = text.indexOf(kMarkOpen, at)) {
        const qsizetype close = text.indexOf(kMarkClose, at);
        text.remove(at, (close < 0 ? text.size() : close + kMarkClose.size()) - at);
    }
    return text;
}

QByteArray closers(const QList<OpenElement> &open, qsizetype count)
{
    QByteArray out;
    for (qsizetype k = count - 1; k >= 0; --k)
        out += "</" + open[k].name + ">";
    return out;
}

// The value of attribute `name` in a tag as written ("" when none).
QByteArray attribute(QByteArrayView tag, QByteArrayView name)
{
    const QByteArray lower = tag.toByteArray().toLower();
    const QByteArray key = " " + name.toByteArray() + "=\"";
    const qsizetype at = lower.indexOf(key);
    if (at < 0)
        return {};
    const qsizetype from = at + key.size();
    const qsizetype to = lower.indexOf('"', from);
    return to < 0 ? QByteArray() : lower.mid(from, to - from);
}

// The body without the parts the export writes at the document's end or on
// every page: footnotes and endnotes (kept by their id), header and footer.
QByteArray takeDocumentParts(const QByteArray &body, QMap<QByteArray, QByteArray> &notes)
{
    QByteArray main;
    Stack stack;
    qsizetype copied = 0;
    qsizetype partStart = -1;
    QByteArray partId;
    bool drop = false;
    for (qsizetype at = 0; at < body.size();) {
        const Token t = next(body, at);
        at = t.end;
        if (t.kind == Token::Open) {
            if (stack.open.isEmpty() && t.name == "div") {
                const QByteArrayView tag(body.constData() + t.start, t.end - t.start);
                const QByteArray id = attribute(tag, "id");
                const QByteArray title = attribute(tag, "title");
                if (id.startsWith("sdfootnote") || id.startsWith("sdendnote") || title == "header"
                    || title == "footer") {
                    partStart = t.start;
                    partId = id;
                    drop = !id.isEmpty() || !title.isEmpty();
                }
            }
            stack.openElement({t.name, t.start, {}, false});
        } else if (t.kind == Token::Close) {
            stack.closeElement(t.name);
            if (stack.open.isEmpty() && partStart >= 0 && drop) {
                main += body.mid(copied, partStart - copied);
                if (!partId.isEmpty())
                    notes.insert(partId, body.mid(partStart, t.end - partStart));
                copied = t.end;
                partStart = -1;
                drop = false;
            }
        }
    }
    main += body.mid(copied);
    return main;
}

// The notes a page cites, footnotes first, each in the order of its mark.
void appendNotes(QByteArray &page, QMap<QByteArray, QByteArray> &notes)
{
    QByteArray tail;
    for (const char *kind : {"sdfootnote", "sdendnote"}) {
        const QByteArray key = QByteArray("name=\"") + kind;
        for (qsizetype at = page.indexOf(key); at >= 0; at = page.indexOf(key, at + 1)) {
            const qsizetype from = at + 6;
            const qsizetype to = page.indexOf('"', from);
            QByteArray id = page.mid(from, to - from).toLower();
            if (!id.endsWith("anc"))
                continue;
            id.chop(3);
            const auto found = notes.find(id);
            if (found != notes.end()) {
                tail += found.value() + "\n";
                notes.erase(found);
            }
        }
    }
    page += tail;
}

} // namespace

QByteArray pageMark(int page)
{
    return kMarkOpen.toByteArray() + QByteArray::number(page) + kMarkClose.toByteArray();
}

std::optional<SplitPages> splitAtPageMarks(const QByteArray &html, int pages)
{
    if (pages < 1 || html.count(kMarkOpen) != pages - 1)
        return std::nullopt;
    const QByteArray lower = html.toLower();
    const qsizetype bodyAt = lower.indexOf("<body");
    const qsizetype bodyClose = lower.lastIndexOf("</body>");
    if (bodyAt < 0 || bodyClose < bodyAt)
        return std::nullopt;
    const qsizetype bodyEnd = tagEnd(html, bodyAt);
    SplitPages out;
    out.head = html.left(bodyAt);
    out.bodyTag = html.mid(bodyAt, bodyEnd - bodyAt);
    QMap<QByteArray, QByteArray> notes;
    const QByteArray main = takeDocumentParts(html.mid(bodyEnd, bodyClose - bodyEnd), notes);

    Stack stack;
    qsizetype pageStart = 0;
    QByteArray prefix; // the elements opened again at the page's start
    int expected = 2;
    const auto cutAt = [&](qsizetype mark) {
        // Elements opened on this page that hold nothing yet go whole to the
        // next one, rather than leaving empty shells behind.
        qsizetype keep = stack.open.size();
        while (keep > 0 && !stack.open[keep - 1].content && stack.open[keep - 1].start >= pageStart)
            --keep;
        const qsizetype cut = keep < stack.open.size() ? stack.open[keep].start : mark;
        out.pages << prefix + withoutMarks(main.mid(pageStart, cut - pageStart)) + closers(stack.open, keep);
        prefix.clear();
        for (qsizetype k = 0; k < keep; ++k)
            prefix += stack.open[k].tag;
        pageStart = cut;
    };
    for (qsizetype at = 0; at < main.size();) {
        const Token t = next(main, at);
        at = t.end;
        switch (t.kind) {
        case Token::Open:
            stack.openElement({t.name, t.start, main.mid(t.start, t.end - t.start), false});
            break;
        case Token::Close:
            stack.closeElement(t.name);
            break;
        case Token::Void:
            stack.sawContent();
            break;
        case Token::Skip:
            break;
        case Token::Text: {
            qsizetype from = t.start;
            for (qsizetype m = main.indexOf(kMarkOpen, from); m >= 0 && m < t.end; m = main.indexOf(kMarkOpen, from)) {
                if (hasContent(QByteArrayView(main.constData() + from, m - from)))
                    stack.sawContent();
                const qsizetype digits = m + kMarkOpen.size();
                const qsizetype close = main.indexOf(kMarkClose, digits);
                if (close < 0 || close > t.end)
                    return std::nullopt;
                bool ok = false;
                if (main.mid(digits, close - digits).toInt(&ok) != expected || !ok || stack.open.isEmpty())
                    return std::nullopt;
                ++expected;
                cutAt(m);
                from = close + kMarkClose.size();
            }
            if (hasContent(QByteArrayView(main.constData() + from, t.end - from)))
                stack.sawContent();
            break;
        }
        }
    }
    if (expected != pages + 1)
        return std::nullopt;
    out.pages << prefix + withoutMarks(main.mid(pageStart)) + closers(stack.open, stack.open.size());
    for (QByteArray &page : out.pages)
        appendNotes(page, notes);
    // A note no page cites is kept all the same.
    for (const QByteArray &rest : std::as_const(notes))
        out.pages.last() += rest + "\n";
    return out;
}

} // namespace tx::office::lo
