#pragma once
// The editor's page at /admin/: static files built into the server (the page, its
// script and the bridge's client library) and the list of stored articles. The page
// talks to the editor's own bridge; the server only tells it where to upload.
#include "cms/ArticleStore.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace tx::cms::admin {

struct Answer {
    QByteArray body;
    QByteArray contentType;
};

// Where the controls send their requests, and whether the page calls itself a
// public address (for trying the browser's local-network permission on one machine).
struct Settings {
    QString scriptBase;       // "http://HOST:PORT", no slash at the end
    bool publicAddress = false;
};

// The answer for a path under /admin/, or nothing when there is no such file.
std::optional<Answer> file(const QString &path, const Settings &settings,
                           const std::vector<Article> &articles);
// The page's Content-Security-Policy: its own scripts only, sockets to the loopback.
QByteArray policy(const Settings &settings);

// The table of articles, linking to the browse pages.
QString articleList(const std::vector<Article> &articles);

} // namespace tx::cms::admin
