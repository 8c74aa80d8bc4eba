#include "cms/BoundedServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <stdexcept>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tx::cms {
namespace {

thread_local std::string refusal;

bool waitFor(int sock, short events, time_t sec, time_t usec)
{
    pollfd p{sock, events, 0};
    const int ms = static_cast<int>(sec * 1000 + usec / 1000);
    int n;
    do
        n = ::poll(&p, 1, ms);
    while (n < 0 && errno == EINTR);
    return n > 0;
}

void addressOf(const sockaddr_storage &addr, std::string &ip, int &port)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        const auto &a = reinterpret_cast<const sockaddr_in &>(addr);
        ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
        port = ntohs(a.sin_port);
    } else if (addr.ss_family == AF_INET6) {
        const auto &a = reinterpret_cast<const sockaddr_in6 &>(addr);
        ::inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text);
        port = ntohs(a.sin6_port);
    }
    ip = text;
}

// A socket stream that ends (as if the client had closed) once the head has run
// past its budget without its empty line.
class HeadBoundedStream : public httplib::Stream {
public:
    HeadBoundedStream(int sock, SSL *ssl, time_t readSec, time_t readUsec, time_t writeSec, time_t writeUsec)
        : sock_(sock), ssl_(ssl), readSec_(readSec), readUsec_(readUsec), writeSec_(writeSec), writeUsec_(writeUsec)
    {
    }

    // Bytes TLS has decrypted already are readable without the socket.
    bool is_readable() const override
    {
        return (ssl_ && SSL_pending(ssl_) > 0) || waitFor(sock_, POLLIN, readSec_, readUsec_);
    }
    // As the library's own stream: a client that has closed its end gets no answer.
    bool is_writable() const override { return waitFor(sock_, POLLOUT, writeSec_, writeUsec_) && peerOpen(); }

    ssize_t read(char *ptr, size_t size) override
    {
        if (off_ == len_) {
            if (!is_readable())
                return -1;
            ssize_t n;
            if (ssl_)
                n = SSL_read(ssl_, buf_, sizeof buf_);
            else
                do
                    n = ::recv(sock_, buf_, sizeof buf_, 0);
                while (n < 0 && errno == EINTR);
            if (n <= 0)
                return n;
            off_ = 0;
            len_ = static_cast<std::size_t>(n);
        }
        std::size_t n = std::min(size, len_ - off_);
        if (inHead_) {
            if (headBytes_ >= BoundedServer::kMaxHeadBytes) {
                refusal = "the request head is longer than " + std::to_string(BoundedServer::kMaxHeadBytes) + " bytes";
                return 0;
            }
            n = std::min(n, BoundedServer::kMaxHeadBytes - headBytes_);
            for (std::size_t i = 0; i < n; ++i) {
                if (endsHead(buf_[off_ + i])) {
                    inHead_ = false;
                    n = i + 1;
                    break;
                }
            }
            headBytes_ += n;
        }
        std::memcpy(ptr, buf_ + off_, n);
        off_ += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char *ptr, size_t size) override
    {
        if (!is_writable())
            return -1;
        if (ssl_) {
            const int n = SSL_write(ssl_, ptr, static_cast<int>(std::min<size_t>(size, 1 << 30)));
            return n > 0 ? n : -1;
        }
        return ::send(sock_, ptr, size, MSG_NOSIGNAL);
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        if (::getpeername(sock_, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
            addressOf(addr, ip, port);
    }

    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        if (::getsockname(sock_, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
            addressOf(addr, ip, port);
    }

    socket_t socket() const override { return sock_; }

private:
    bool peerOpen() const
    {
        if (!waitFor(sock_, POLLIN, 0, 0))
            return true;
        char c;
        return ::recv(sock_, &c, 1, MSG_PEEK) > 0;
    }

    // The head ends with an empty line; the library also takes a bare LF as a line end.
    bool endsHead(char c)
    {
        if (c == '\n') {
            const bool empty = lineStart_ != State::MidLine;
            lineStart_ = State::LineStart;
            return empty;
        }
        lineStart_ = c == '\r' && lineStart_ == State::LineStart ? State::LineStartCr : State::MidLine;
        return false;
    }

    enum class State { MidLine, LineStart, LineStartCr };
    int sock_;
    SSL *ssl_;
    time_t readSec_, readUsec_, writeSec_, writeUsec_;
    char buf_[4096];
    std::size_t off_ = 0, len_ = 0;
    bool inHead_ = true;
    std::size_t headBytes_ = 0;
    State lineStart_ = State::MidLine;
};

} // namespace

const std::string &BoundedServer::headRefusal()
{
    return refusal;
}

BoundedServer::~BoundedServer()
{
    if (tls_)
        SSL_CTX_free(tls_);
}

void BoundedServer::useTls(const std::string &certFile, const std::string &keyFile)
{
    SSL_CTX *ctx = SSL_CTX_new(TLS_server_method());
    const bool ok = ctx && SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) == 1
        && SSL_CTX_use_certificate_chain_file(ctx, certFile.c_str()) == 1
        && SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) == 1
        && SSL_CTX_check_private_key(ctx) == 1;
    if (!ok) {
        if (ctx)
            SSL_CTX_free(ctx);
        ERR_clear_error();
        throw std::runtime_error("cannot use the certificate " + certFile + " with the key " + keyFile);
    }
    SSL_CTX_set_mode(ctx, SSL_MODE_AUTO_RETRY);
    if (tls_)
        SSL_CTX_free(tls_);
    tls_ = ctx;
}

bool BoundedServer::process_and_close_socket(socket_t sock)
{
    refusal.clear();
    bool ok = false;
    // As the library does: a connection that sends nothing for a while is closed.
    if (svr_sock_ != INVALID_SOCKET && waitFor(sock, POLLIN, keep_alive_timeout_sec_, 0)) {
        SSL *ssl = nullptr;
        bool ready = true;
        if (tls_) {
            // A handshake that stalls is bounded by the read time-out, as a head is.
            const timeval rt{read_timeout_sec_, static_cast<suseconds_t>(read_timeout_usec_)};
            const timeval wt{write_timeout_sec_, static_cast<suseconds_t>(write_timeout_usec_)};
            ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &rt, sizeof rt);
            ::setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &wt, sizeof wt);
            ssl = SSL_new(tls_);
            ready = ssl && SSL_set_fd(ssl, sock) == 1 && SSL_accept(ssl) == 1;
            ERR_clear_error();
        }
        if (ready) {
            HeadBoundedStream stream(sock, ssl, read_timeout_sec_, read_timeout_usec_, write_timeout_sec_,
                                     write_timeout_usec_);
            bool closed = false;
            ok = process_request(stream, true, closed, nullptr);
        }
        if (ssl) {
            if (ready)
                SSL_shutdown(ssl);
            SSL_free(ssl);
            ERR_clear_error();
        }
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
}

} // namespace tx::cms
