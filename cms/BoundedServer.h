#pragma once
// The HTTP library's server with one request per connection and a bounded head.
// One request: a refused body is left unread, and the library would read its rest
// as the next request. A bounded head: the library reads the request line and each
// header line whole before it checks a length, and keeps every header however many
// there are; here a connection reads at most kMaxHeadBytes up to the empty line
// that ends the head, and a longer one is refused like any malformed head.
// With a certificate it speaks TLS (1.2 or newer) on every connection, through the
// same bounded reader.
#include <httplib.h>

#include <cstddef>
#include <string>

namespace tx::cms {

class BoundedServer : public httplib::Server {
public:
    static constexpr std::size_t kMaxHeadBytes = 64 * 1024;

    ~BoundedServer() override;
    // PEM files of the certificate (chain) and its key; throws std::runtime_error
    // when they cannot be used together.
    void useTls(const std::string &certFile, const std::string &keyFile);
    bool secure() const { return tls_ != nullptr; }

    // Why the head of the request being handled on this thread was cut short, or
    // empty: the library then answers as for a malformed head.
    static const std::string &headRefusal();

private:
    bool process_and_close_socket(socket_t sock) override;
    SSL_CTX *tls_ = nullptr;
};

} // namespace tx::cms
