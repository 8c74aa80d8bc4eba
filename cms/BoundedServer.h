#pragma once
// The HTTP library's server with one request per connection and a bounded head.
// One request: a refused body is left unread, and the library would read its rest
// as the next request. A bounded head: the library reads the request line and each
// header line whole before it checks a length, and keeps every header however many
// there are; here a connection reads at most kMaxHeadBytes up to the empty line
// that ends the head, and a longer one is refused like any malformed head.
#include <httplib.h>

#include <cstddef>
#include <string>

namespace tx::cms {

class BoundedServer : public httplib::Server {
public:
    static constexpr std::size_t kMaxHeadBytes = 64 * 1024;

    // Why the head of the request being handled on this thread was cut short, or
    // empty: the library then answers as for a malformed head.
    static const std::string &headRefusal();

private:
    bool process_and_close_socket(socket_t sock) override;
};

} // namespace tx::cms
