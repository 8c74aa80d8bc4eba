#pragma once
// A streaming multipart/form-data reader: bytes go in as they arrive, parts come out
// through a sink, and a file part is never held whole in memory.
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tx::cms {

struct PartHead {
    QString name;           // decoded from the legacy code page
    QString fileName;       // the filename parameter as sent (a full client path)
    bool isFile = false;    // a filename parameter was present
    QByteArray contentType;
    std::size_t rawNameBytes = 0;  // name and filename as sent, counted against the request's budget
};

class PartSink {
public:
    virtual ~PartSink() = default;
    virtual void beginPart(const PartHead &head) = 0;
    virtual void partData(const char *data, std::size_t size) = 0;
    virtual void endPart() = 0;
};

// The boundary parameter of a multipart/form-data Content-Type (quotes removed), or
// nothing when the type is another one or names no boundary.
std::optional<std::string> boundaryOf(std::string_view contentType);

// The head block of one part (its lines without the empty line that ends it).
// Throws Refused when it is not a form-data part.
PartHead parsePartHead(std::string_view block);

class MultipartParser {
public:
    MultipartParser(const std::string &boundary, PartSink &sink);

    // Throws Refused on malformed input; the sink's exceptions pass through.
    void feed(const char *data, std::size_t size);
    // The closing delimiter has been read: the body is whole.
    bool complete() const { return state_ == State::Done; }

private:
    enum class State { Preamble, AfterDelimiter, Headers, Body, Done };
    bool step();  // one state transition on buf_; false when more bytes are needed
    std::size_t find(std::string_view needle) const;

    std::string delimiter_;      // "--" + boundary
    std::string bodyDelimiter_;  // CR LF + delimiter: ends a part's content
    PartSink &sink_;
    std::string buf_;
    State state_ = State::Preamble;
};

} // namespace tx::cms
