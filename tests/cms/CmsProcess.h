#pragma once
// tessarix-cms as a child process on a free loopback port, and raw HTTP over
// loopback sockets (so tests can send any bytes and cut requests short).
#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

class CmsProcess {
public:
    // fileSizeLimit > 0: the server runs under that RLIMIT_FSIZE, as on a full disk
    // (its writes past it fail instead of killing it).
    explicit CmsProcess(const QString &root, const QStringList &extra = {}, long long fileSizeLimit = 0);
    ~CmsProcess();
    int port() const { return port_; }
    // The HTTPS port, when started with --tls.
    int tlsPort() const { return tlsPort_; }
    // SIGTERM; the exit code of a clean stop (0), or -1.
    int stop();

private:
    QProcess process_;
    int port_ = 0;
    int tlsPort_ = 0;
};

struct Part {
    std::string name;                     // raw bytes as sent
    std::optional<std::string> fileName;  // raw bytes; a file part when set
    std::string data;
};

struct Response {
    int status = 0;
    std::string head;
    std::string body;
};

std::string multipartBody(const std::string &boundary, const std::vector<Part> &parts);
std::string postRequest(const std::string &path, const std::string &boundary, const std::string &body,
                        long long contentLength = -1);
// Sends the bytes and reads the answer. closeSending: the client goes away after
// sending (the server then cannot answer).
Response sendRaw(int port, const std::string &request, bool closeSending = false);
Response post(int port, const std::string &path, const std::vector<Part> &parts,
              const std::string &boundary = "---------------------------7d1c934a05c4");
