// fuzz-deps: tx_cms
// The server's multipart reader: a Content-Type on the first line, the body after
// it. The body fed whole and fed in pieces must give the same parts, or both be
// refused; no part content appears that the body did not hold.
#include "cms/MultipartParser.h"
#include "cms/Refused.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Recorder : tx::cms::PartSink {
    struct Part {
        tx::cms::PartHead head;
        std::string data;
        bool ended = false;
    };
    std::vector<Part> parts;
    void beginPart(const tx::cms::PartHead &head) override
    {
        if (!parts.empty() && !parts.back().ended)
            std::abort();
        parts.push_back({head, {}, false});
    }
    void partData(const char *data, std::size_t size) override
    {
        if (parts.empty() || parts.back().ended || size == 0)
            std::abort();
        parts.back().data.append(data, size);
    }
    void endPart() override
    {
        if (parts.empty() || parts.back().ended)
            std::abort();
        parts.back().ended = true;
    }
};

struct Outcome {
    Recorder rec;
    bool refused = false;
    bool complete = false;
};

Outcome parse(const std::string &boundary, std::string_view body, std::size_t step)
{
    Outcome out;
    tx::cms::MultipartParser parser(boundary, out.rec);
    try {
        for (std::size_t at = 0; at < body.size(); at += step)
            parser.feed(body.data() + at, std::min(step, body.size() - at));
    } catch (const tx::cms::Refused &) {
        out.refused = true;
    }
    out.complete = parser.complete();
    return out;
}

bool sameParts(const Recorder &a, const Recorder &b)
{
    if (a.parts.size() != b.parts.size())
        return false;
    for (std::size_t i = 0; i < a.parts.size(); ++i) {
        const auto &x = a.parts[i];
        const auto &y = b.parts[i];
        if (x.head.name != y.head.name || x.head.fileName != y.head.fileName || x.head.isFile != y.head.isFile
            || x.head.contentType != y.head.contentType || x.data != y.data || x.ended != y.ended)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t step = data[0] % 29 + 1;
    const std::string_view rest(reinterpret_cast<const char *>(data + 1), size - 1);
    const std::size_t eol = rest.find('\n');
    if (eol == std::string_view::npos)
        return 0;
    const std::optional<std::string> boundary = tx::cms::boundaryOf(rest.substr(0, eol));
    if (!boundary)
        return 0;
    const std::string_view body = rest.substr(eol + 1);

    const Outcome whole = parse(*boundary, body, std::max<std::size_t>(body.size(), 1));
    const Outcome pieces = parse(*boundary, body, step);
    if (whole.refused != pieces.refused)
        std::abort();
    if (!whole.refused && (whole.complete != pieces.complete || !sameParts(whole.rec, pieces.rec)))
        std::abort();
    // A whole body ends every part it began; contents are bytes of the body.
    std::size_t content = 0;
    for (const auto &p : whole.rec.parts) {
        if (whole.complete && !p.ended)
            std::abort();
        content += p.data.size();
    }
    if (content > body.size())
        std::abort();
    return 0;
}
