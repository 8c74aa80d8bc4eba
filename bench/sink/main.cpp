// bench-sink [PORT]: serves one connection at a time on 127.0.0.1; prints the port.
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// Reads one request (head + Content-Length body) from `fd`; false at the close.
bool serveRequest(int fd, std::vector<char> &buf)
{
    std::string head;
    long long length = -1;
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n <= 0)
            return false;
        head.append(buf.data(), size_t(n));
        const size_t end = head.find("\r\n\r\n");
        if (end == std::string::npos)
            continue;
        for (size_t p = 0; p < end;) {
            const size_t eol = head.find("\r\n", p);
            std::string line = head.substr(p, eol - p);
            for (char &c : line)
                c = char(tolower(c));
            if (line.rfind("content-length:", 0) == 0)
                length = atoll(line.c_str() + 15);
            p = eol + 2;
        }
        long long have = (long long)(head.size() - end - 4);
        while (have < length) {
            const ssize_t m = ::read(fd, buf.data(), buf.size());
            if (m <= 0)
                return false;
            have += m;
        }
        break;
    }
    static const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n/files/ok";
    return ::write(fd, answer, sizeof answer - 1) == ssize_t(sizeof answer - 1);
}

} // namespace

int main(int argc, char **argv)
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(argc > 1 ? uint16_t(atoi(argv[1])) : 0);
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
        const int c = accept(s, nullptr, nullptr);
        if (c < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        while (serveRequest(c, buf)) {
        }
        close(c);
    }
}
