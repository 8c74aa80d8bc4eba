#include "cms/MultipartParser.h"

#include "cms/Refused.h"
#include "core/CodePage.h"

#include <algorithm>
#include <cctype>

namespace tx::cms {
namespace {

constexpr std::size_t kMaxHeadBytes = 16 * 1024;
constexpr std::size_t kMaxDelimiterLineBytes = 256;

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x))
                   == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Parameters of a header value: "type; key=value; key="quoted value"". A quoted value
// runs to the next quote: clients write Windows paths with raw backslashes there.
template <typename F>
std::string_view forEachParameter(std::string_view value, F &&onParameter)
{
    const std::size_t semi = value.find(';');
    const std::string_view type = trimmed(value.substr(0, semi));
    std::size_t i = semi == std::string_view::npos ? value.size() : semi + 1;
    while (i < value.size()) {
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t' || value[i] == ';'))
            ++i;
        std::size_t keyEnd = i;
        while (keyEnd < value.size() && value[keyEnd] != '=' && value[keyEnd] != ';')
            ++keyEnd;
        const std::string_view key = trimmed(value.substr(i, keyEnd - i));
        std::string_view val;
        i = keyEnd;
        if (i < value.size() && value[i] == '=') {
            ++i;
            while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
                ++i;
            if (i < value.size() && value[i] == '"') {
                const std::size_t close = value.find('"', i + 1);
                const std::size_t end = close == std::string_view::npos ? value.size() : close;
                val = value.substr(i + 1, end - i - 1);
                i = close == std::string_view::npos ? value.size() : close + 1;
            } else {
                const std::size_t end = std::min(value.find(';', i), value.size());
                val = trimmed(value.substr(i, end - i));
                i = end;
            }
        }
        if (!key.empty())
            onParameter(key, val);
    }
    return type;
}

// Clients escape a quote, CR and LF in names as browsers do; nothing else is escaped.
QByteArray unescapeName(std::string_view raw)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(raw.size()));
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '%' && i + 2 < raw.size()) {
            const std::string_view hex = raw.substr(i + 1, 2);
            if (equalsNoCase(hex, "22")) { out += '"'; i += 2; continue; }
            if (equalsNoCase(hex, "0D")) { out += '\r'; i += 2; continue; }
            if (equalsNoCase(hex, "0A")) { out += '\n'; i += 2; continue; }
        }
        out += raw[i];
    }
    return out;
}

} // namespace

std::optional<std::string> boundaryOf(std::string_view contentType)
{
    std::optional<std::string> boundary;
    const std::string_view type = forEachParameter(contentType, [&](std::string_view key, std::string_view val) {
        if (!boundary && equalsNoCase(key, "boundary") && !val.empty())
            boundary = std::string(val);
    });
    if (!equalsNoCase(type, "multipart/form-data"))
        return std::nullopt;
    // RFC 2046 allows at most 70 characters; a longer one is a malformed head.
    if (boundary && boundary->size() > 200)
        return std::nullopt;
    return boundary;
}

PartHead parsePartHead(std::string_view block)
{
    PartHead head;
    bool formData = false;
    bool named = false;
    std::size_t start = 0;
    while (start < block.size()) {
        std::size_t end = block.find("\r\n", start);
        if (end == std::string_view::npos)
            end = block.size();
        const std::string_view line = block.substr(start, end - start);
        start = end + 2;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view field = trimmed(line.substr(0, colon));
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (equalsNoCase(field, "Content-Disposition")) {
            const std::string_view type = forEachParameter(value, [&](std::string_view key, std::string_view val) {
                if (equalsNoCase(key, "name") && !named) {
                    const QByteArray raw = unescapeName(val);
                    head.rawNameBytes += static_cast<std::size_t>(raw.size());
                    head.name = codepage::decode(raw);
                    named = true;
                } else if (equalsNoCase(key, "filename") && !head.isFile) {
                    const QByteArray raw = unescapeName(val);
                    head.rawNameBytes += static_cast<std::size_t>(raw.size());
                    head.fileName = codepage::decode(raw);
                    head.isFile = true;
                }
            });
            formData = equalsNoCase(type, "form-data");
        } else if (equalsNoCase(field, "Content-Type")) {
            head.contentType = QByteArray(value.data(), static_cast<qsizetype>(value.size()));
        }
    }
    if (!formData)
        throw Refused("a part is not form-data");
    if (!named)
        throw Refused("a part has no name");
    return head;
}

MultipartParser::MultipartParser(const std::string &boundary, PartSink &sink)
    : delimiter_("--" + boundary), bodyDelimiter_("\r\n--" + boundary), sink_(sink)
{
}

std::size_t MultipartParser::find(std::string_view needle) const
{
    return std::string_view(buf_).find(needle);
}

void MultipartParser::feed(const char *data, std::size_t size)
{
    if (state_ == State::Done)
        return;  // the epilogue is ignored
    buf_.append(data, size);
    while (step()) {
    }
}

bool MultipartParser::step()
{
    switch (state_) {
    case State::Preamble: {
        const std::size_t at = find(delimiter_);
        if (at == std::string::npos) {
            // Keep what could be the start of the first delimiter.
            if (buf_.size() >= delimiter_.size())
                buf_.erase(0, buf_.size() - delimiter_.size() + 1);
            return false;
        }
        buf_.erase(0, at + delimiter_.size());
        state_ = State::AfterDelimiter;
        return true;
    }
    case State::AfterDelimiter: {
        if (buf_.size() < 2)
            return false;
        if (buf_.compare(0, 2, "--") == 0) {
            state_ = State::Done;
            buf_.clear();
            return false;
        }
        // The limits hold however the bytes were split: a line too long is refused
        // whether its end has come or not.
        const std::size_t lf = buf_.find('\n');
        if (std::min(lf, buf_.size()) > kMaxDelimiterLineBytes)
            throw Refused("malformed multipart delimiter");
        if (lf == std::string::npos)
            return false;
        // Only transport padding may follow a delimiter on its line.
        for (std::size_t i = 0; i < lf; ++i) {
            const char c = buf_[i];
            if (c != ' ' && c != '\t' && !(c == '\r' && i + 1 == lf))
                throw Refused("malformed multipart delimiter");
        }
        buf_.erase(0, lf + 1);
        state_ = State::Headers;
        return true;
    }
    case State::Headers: {
        std::size_t blockEnd;
        std::size_t consumed;
        if (buf_.compare(0, 2, "\r\n") == 0) {
            blockEnd = 0;
            consumed = 2;
        } else {
            // Without its end yet, the head is at least as long as what has come,
            // less a part of the empty line.
            const std::size_t at = find("\r\n\r\n");
            const std::size_t least = at != std::string::npos ? at : buf_.size() - std::min<std::size_t>(buf_.size(), 3);
            if (least > kMaxHeadBytes)
                throw Refused("part head too long");
            if (at == std::string::npos)
                return false;
            blockEnd = at;
            consumed = at + 4;
        }
        const PartHead head = parsePartHead(std::string_view(buf_).substr(0, blockEnd));
        buf_.erase(0, consumed);
        state_ = State::Body;
        sink_.beginPart(head);
        return true;
    }
    case State::Body: {
        const std::size_t at = find(bodyDelimiter_);
        if (at == std::string::npos) {
            // Everything but a possible delimiter prefix at the end is content.
            const std::size_t keep = bodyDelimiter_.size() - 1;
            if (buf_.size() > keep) {
                const std::size_t n = buf_.size() - keep;
                sink_.partData(buf_.data(), n);
                buf_.erase(0, n);
            }
            return false;
        }
        if (at > 0)
            sink_.partData(buf_.data(), at);
        buf_.erase(0, at + bodyDelimiter_.size());
        sink_.endPart();
        state_ = State::AfterDelimiter;
        return true;
    }
    case State::Done:
        return false;
    }
    return false;
}

} // namespace tx::cms
