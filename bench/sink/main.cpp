// bench-sink [--tls CERT KEY] [PORT]: serves one connection at a time on 127.0.0.1
// (over TLS with a certificate); prints the port. It answers "Expect: 100-continue"
// as real servers do, so that a client that asks does not wait for it.
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// One accepted connection, plain or TLS.
struct Conn {
    int fd;
    SSL *ssl;
    ssize_t read(char *p, size_t n) { return ssl ? SSL_read(ssl, p, int(n)) : ::read(fd, p, n); }
    bool writeAll(const char *p, size_t n)
    {
        return ssl ? SSL_write(ssl, p, int(n)) == int(n) : ::write(fd, p, n) == ssize_t(n);
    }
};

// Reads one request (head + Content-Length body); false at the close.
bool serveRequest(Conn &c, std::vector<char> &buf)
{
    std::string head;
    long long length = -1;
    bool expects = false;
    for (;;) {
        const ssize_t n = c.read(buf.data(), buf.size());
        if (n <= 0)
            return false;
        head.append(buf.data(), size_t(n));
        const size_t end = head.find("\r\n\r\n");
        if (end == std::string::npos)
            continue;
        for (size_t p = 0; p < end;) {
            const size_t eol = head.find("\r\n", p);
            std::string line = head.substr(p, eol - p);
            for (char &ch : line)
                ch = char(tolower(ch));
            if (line.rfind("content-length:", 0) == 0)
                length = atoll(line.c_str() + 15);
            if (line.rfind("expect:", 0) == 0 && line.find("100-continue") != std::string::npos)
                expects = true;
            p = eol + 2;
        }
        long long have = (long long)(head.size() - end - 4);
        if (expects && have == 0) {
            static const char go[] = "HTTP/1.1 100 Continue\r\n\r\n";
            if (!c.writeAll(go, sizeof go - 1))
                return false;
        }
        while (have < length) {
            const ssize_t m = c.read(buf.data(), buf.size());
            if (m <= 0)
                return false;
            have += m;
        }
        break;
    }
    static const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n/files/ok";
    return c.writeAll(answer, sizeof answer - 1);
}

} // namespace

int main(int argc, char **argv)
{
    SSL_CTX *ctx = nullptr;
    int arg = 1;
    if (argc > 3 && strcmp(argv[1], "--tls") == 0) {
        ctx = SSL_CTX_new(TLS_server_method());
        if (!ctx || SSL_CTX_use_certificate_chain_file(ctx, argv[2]) != 1
            || SSL_CTX_use_PrivateKey_file(ctx, argv[3], SSL_FILETYPE_PEM) != 1) {
            ERR_print_errors_fp(stderr);
            return 1;
        }
        SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
        SSL_CTX_set_mode(ctx, SSL_MODE_AUTO_RETRY);
        arg = 4;
    }
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(argc > arg ? uint16_t(atoi(argv[arg])) : 0);
    if (bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(s, 64) != 0) {
        perror("bench-sink");
        return 1;
    }
    socklen_t len = sizeof addr;
    getsockname(s, reinterpret_cast<sockaddr *>(&addr), &len);
    printf("%d\n", ntohs(addr.sin_port));
    fflush(stdout);
    std::vector<char> buf(1 << 20);
    for (;;) {
        const int fd = accept(s, nullptr, nullptr);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        Conn c{fd, nullptr};
        if (ctx) {
            c.ssl = SSL_new(ctx);
            SSL_set_fd(c.ssl, fd);
            if (SSL_accept(c.ssl) != 1) {
                ERR_clear_error();
                SSL_free(c.ssl);
                close(fd);
                continue;
            }
        }
        while (serveRequest(c, buf)) {
        }
        if (c.ssl) {
            SSL_shutdown(c.ssl);
            SSL_free(c.ssl);
            ERR_clear_error();
        }
        close(fd);
    }
}
