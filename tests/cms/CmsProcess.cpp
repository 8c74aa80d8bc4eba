#include "CmsProcess.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <csignal>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

CmsProcess::CmsProcess(const QString &root, const QStringList &extra, long long fileSizeLimit)
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (fileSizeLimit > 0)
        process_.setChildProcessModifier([fileSizeLimit] {
            ::signal(SIGXFSZ, SIG_IGN);  // kept across exec: a write past the limit fails with EFBIG
            const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    process_.start(QStringLiteral(CMS_BINARY),
                   QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--root"), root}
                       + extra);
    QByteArray out;
    const QRegularExpression listening(QStringLiteral("listening on http://127\\.0\\.0\\.1:(\\d+)/"));
    const QRegularExpression secure(QStringLiteral("listening on https://127\\.0\\.0\\.1:(\\d+)/"));
    const bool tls = extra.contains(QStringLiteral("--tls"));
    while ((port_ == 0 || (tls && tlsPort_ == 0)) && process_.waitForReadyRead(15000)) {
        out += process_.readAllStandardOutput();
        const auto m = listening.match(QString::fromUtf8(out));
        if (m.hasMatch())
            port_ = m.captured(1).toInt();
        const auto s = secure.match(QString::fromUtf8(out));
        if (s.hasMatch())
            tlsPort_ = s.captured(1).toInt();
    }
    EXPECT_NE(port_, 0) << "the server printed: " << out.toStdString();
}

CmsProcess::~CmsProcess()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

int CmsProcess::stop()
{
    process_.terminate();
    if (!process_.waitForFinished(10000) || process_.exitStatus() != QProcess::NormalExit)
        return -1;
    return process_.exitCode();
}

std::string multipartBody(const std::string &boundary, const std::vector<Part> &parts)
{
    std::string body;
    for (const Part &p : parts) {
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + p.name + "\"";
        if (p.fileName)
            body += "; filename=\"" + *p.fileName + "\"\r\nContent-Type: text/plain";
        body += "\r\n\r\n" + p.data + "\r\n";
    }
    return body + "--" + boundary + "--\r\n";
}

std::string postRequest(const std::string &path, const std::string &boundary, const std::string &body,
                        long long contentLength)
{
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        + "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n"
        + "Content-Length: " + std::to_string(contentLength < 0 ? (long long)body.size() : contentLength)
        + "\r\nConnection: Keep-Alive\r\n\r\n" + body;
}

Response sendRaw(int port, const std::string &request, bool closeSending)
{
    Response r;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{15, 0};  // a deadline, so a broken server fails the test instead of hanging it
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        ADD_FAILURE() << "cannot connect";
        return r;
    }
    for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
    if (closeSending)
        ::shutdown(fd, SHUT_WR);
    // Read the head, then as much body as Content-Length says (the server keeps a
    // kept-alive connection open), or up to the server's close.
    std::string all;
    char buf[65536];
    std::size_t want = std::string::npos;
    while (want == std::string::npos || all.size() < want) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        all.append(buf, static_cast<std::size_t>(n));
        const std::size_t end = all.find("\r\n\r\n");
        if (want == std::string::npos && end != std::string::npos) {
            const std::size_t at = all.find("Content-Length: ");
            if (at != std::string::npos && at < end)
                want = end + 4 + std::stoul(all.substr(at + 16));
        }
    }
    ::close(fd);
    const std::size_t end = all.find("\r\n\r\n");
    r.head = all.substr(0, end);
    r.body = end == std::string::npos ? std::string() : all.substr(end + 4);
    if (all.rfind("HTTP/1.1 ", 0) == 0)
        r.status = std::atoi(all.c_str() + 9);
    return r;
}

Response post(int port, const std::string &path, const std::vector<Part> &parts, const std::string &boundary)
{
    return sendRaw(port, postRequest(path, boundary, multipartBody(boundary, parts)));
}
