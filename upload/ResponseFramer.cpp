#include "upload/ResponseFramer.h"

#include "util/HttpStatus.h"

#include <QList>

namespace tx {

void ResponseFramer::reset()
{
    *this = ResponseFramer();
}

void ResponseFramer::feed(QByteArrayView piece)
{
    if (done)
        return;
    raw.append(piece.data(), piece.size());
    if (stage == Stage::Head)
        parseHead();
    if (done)
        return;
    switch (stage) {
    case Stage::Head:
        if (raw.size() > kMaxHead)
            overflowed();
        return;
    case Stage::Length: {
        const qint64 take = qMin<qint64>(remaining, raw.size());
        body.append(raw.constData(), take);
        raw.remove(0, take);
        remaining -= take;
        if (remaining == 0)
            done = true;
        break;
    }
    case Stage::Chunked:
        decodeChunks();
        break;
    case Stage::UntilClose:
        body.append(raw);
        raw.clear();
        break;
    }
    if (!done && head.size() + body.size() + raw.size() > kMaxResponse)
        overflowed();
}

void ResponseFramer::overflowed()
{
    const QByteArray line = statusLine();
    const bool headDone = stage != Stage::Head;
    *this = ResponseFramer();
    // Only the status line is kept, to tell the user what came.
    head = line;
    stage = headDone ? Stage::UntilClose : Stage::Head;
    raw = headDone ? QByteArray() : line;
    over = done = true;
}

QByteArray ResponseFramer::statusLine() const
{
    const QByteArray &from = stage == Stage::Head ? raw : head;
    const qsizetype eol = from.indexOf("\r\n");
    return eol < 0 ? (over ? from : QByteArray()) : from.left(eol);
}

int ResponseFramer::statusCode() const
{
    return http::statusCode(statusLine());
}

void ResponseFramer::closed()
{
    if (!done && (stage == Stage::Length || stage == Stage::Chunked))
        cut = true;
    done = true;
}

QByteArray ResponseFramer::response() const
{
    if (over)
        return {};
    if (stage == Stage::Head)
        return raw; // a head without its empty line
    return head + body;
}

void ResponseFramer::parseHead()
{
    for (;;) {
        const qsizetype end = raw.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        QByteArray h = raw.left(end + 4);
        const QList<QByteArray> lines = h.split('\n');
        // The code the controls read from the status line decides the framing too:
        // a line that is no status line is never an interim answer passed over.
        const int code = http::statusCode(QByteArrayView(h).first(h.indexOf("\r\n")));
        if (code >= 100 && code < 200) {
            // An interim answer (100 Continue): the real one follows.
            raw.remove(0, end + 4);
            continue;
        }
        head = h;
        raw.remove(0, end + 4);
        bool chunked = false;
        qint64 length = -1;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon < 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "transfer-encoding" && value.toLower().contains("chunked"))
                chunked = true;
            else if (name == "content-length") {
                bool ok = false;
                const qint64 v = value.toLongLong(&ok);
                if (ok && v >= 0)
                    length = v;
            }
        }
        if (code == 204 || code == 304) {
            // No body whatever the headers say; the bytes after the head are not
            // part of this answer, however the pieces fell.
            stage = Stage::Length;
            remaining = 0;
            done = true;
        } else if (chunked) {
            stage = Stage::Chunked;
        } else if (length >= 0) {
            stage = Stage::Length;
            remaining = length;
            if (length == 0)
                done = true;
        } else {
            stage = Stage::UntilClose;
        }
        return;
    }
}

// Chunk size line, data, CR LF; a zero size ends the body after the trailers.
void ResponseFramer::decodeChunks()
{
    for (;;) {
        if (remaining > 0) {
            const qint64 take = qMin<qint64>(remaining, raw.size());
            body.append(raw.constData(), take);
            raw.remove(0, take);
            remaining -= take;
            if (remaining > 0)
                return;
            remaining = -1; // the CR LF after the data is due
        }
        if (remaining == -1) {
            if (raw.size() < 2)
                return;
            raw.remove(0, 2);
            remaining = 0;
        }
        const qsizetype eol = raw.indexOf("\r\n");
        if (eol < 0)
            return;
        QByteArray sizeText = raw.left(eol);
        const qsizetype semi = sizeText.indexOf(';');
        if (semi >= 0)
            sizeText.truncate(semi);
        bool ok = false;
        const qint64 size = sizeText.trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0) {
            // Not chunked after all: keep the rest as it stands until the close.
            stage = Stage::UntilClose;
            body.append(raw);
            raw.clear();
            return;
        }
        if (size == 0) {
            // Trailers end with an empty line.
            const qsizetype end = raw.indexOf("\r\n\r\n", eol);
            const bool bare = raw.size() >= eol + 4 && raw.mid(eol, 4) == "\r\n\r\n";
            if (bare || end >= 0) {
                raw.clear();
                done = true;
            }
            return;
        }
        raw.remove(0, eol + 2);
        remaining = size;
    }
}

} // namespace tx
