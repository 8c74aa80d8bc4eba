#pragma once
// The reference CMS server: routes requests to the upload script, the article
// script, the browse pages and the stored files.
#include <QString>
#include <QStringList>

#include <memory>
#include <string>

namespace tx::cms {

struct ServerOptions {
    QString root;
    std::string host = "127.0.0.1";
    int port = 0;           // 0: any free port
    QStringList postPaths;  // article script paths besides /cms/savepost.asp
    // HTTPS beside the plain listener: the same pages and scripts, through the same
    // bounded reader and limits.
    std::string tlsCert, tlsKey;
    int tlsPort = 0;        // 0: any free port
    bool publicAddress = false;  // the editor's page calls itself a public address
};

class CmsServer {
public:
    // Creates the root's folders and opens the database; throws std::runtime_error.
    explicit CmsServer(const ServerOptions &options);
    ~CmsServer();

    // Binds and listens; returns the port. Throws std::runtime_error.
    int bind();
    // After bind(), with a certificate: the HTTPS port.
    int tlsPort() const;
    // Serves until stop(); false when the server failed.
    bool run();
    // From any thread.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace tx::cms
