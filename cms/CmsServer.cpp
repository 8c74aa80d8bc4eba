#include "cms/CmsServer.h"

#include "cms/AdminPage.h"
#include "cms/ArticleScript.h"
#include "cms/ArticleStore.h"
#include "cms/BoundedServer.h"
#include "cms/ContentType.h"
#include "cms/MultipartParser.h"
#include "cms/Pages.h"
#include "cms/ReceivedForm.h"
#include "cms/Refused.h"
#include "cms/Storage.h"
#include "cms/UploadScript.h"
#include "core/CodePage.h"

#include <httplib.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <chrono>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace tx::cms {
namespace {

// The library parses multipart bodies itself and keeps every part in memory; the
// Content-Type is moved aside before routing so that the body reaches our own
// streaming parser raw.
constexpr const char *kFormType = "X-Tessarix-Form-Type";
constexpr std::size_t kServeChunk = 256 * 1024;

std::mutex logMutex;

void logLine(const std::string &line)
{
    std::lock_guard lock(logMutex);
    std::fprintf(stderr, "tessarix-cms: %s\n", line.c_str());
    std::fflush(stderr);
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// What the controls read: text in the legacy code page.
void answerLegacy(httplib::Response &res, const QString &text)
{
    const QByteArray bytes = codepage::encode(text);
    res.status = 200;
    res.set_content(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                    "text/plain; charset=" + codepage::name().toStdString());
}

void answerPage(httplib::Response &res, const QString &html)
{
    const QByteArray bytes = html.toUtf8();
    res.status = 200;
    res.set_header("Content-Security-Policy", "script-src 'none'; object-src 'none'");
    res.set_content(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                    "text/html; charset=utf-8");
}

void refuse(const httplib::Request &req, httplib::Response &res, const std::string &reason)
{
    logLine("500 " + req.method + " " + req.path + ": " + reason);
    res.status = 500;
    // The body may be left unread; the connection cannot carry another request.
    res.set_header("Connection", "close");
    const QByteArray bytes = codepage::encode(QString::fromStdString(reason + "\n"));
    res.set_content(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                    "text/plain; charset=" + codepage::name().toStdString());
}

// The port listened on; throws when the address cannot be had.
int bindTo(httplib::Server &server, const std::string &host, int port)
{
    int bound = port;
    if (port == 0)
        bound = server.bind_to_any_port(host);
    else if (!server.bind_to_port(host, port))
        bound = -1;
    if (bound <= 0)
        throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port));
    return bound;
}

} // namespace

struct CmsServer::Impl {
    ServerOptions options;
    Storage storage;
    ArticleStore articles;
    UploadScript uploadScript{storage};
    ArticleScript articleScript{articles};
    BoundedServer server;
    std::vector<std::string> postPaths;
    std::unique_ptr<BoundedServer> tls; // the same scripts and pages over HTTPS
    int port = 0, tlsPort = 0;

    explicit Impl(const ServerOptions &o)
        : options(o), storage(o.root), articles(storage.databasePath())
    {
        postPaths.push_back("/cms/savepost.asp");
        for (const QString &p : o.postPaths)
            postPaths.push_back(lower(p.toStdString()));
    }

    void routes(BoundedServer &on);
    void post(const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &reader);
    void get(const httplib::Request &req, httplib::Response &res, bool secure);
    void serveFile(const httplib::Request &req, httplib::Response &res);
    bool serveAdmin(const httplib::Request &req, httplib::Response &res, bool secure);
    int bindTls();
};

void CmsServer::Impl::routes(BoundedServer &server)
{
    const bool secure = server.secure();
    server.set_read_timeout(30, 0);
    server.set_pre_routing_handler([](const httplib::Request &req, httplib::Response &res) {
        // The library would read the body of any other method into memory whole,
        // and a chunked body's size lines whole, however long.
        if (req.method != "GET" && req.method != "HEAD" && req.method != "POST") {
            refuse(req, res, "the method " + req.method + " is not served");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.has_header("Transfer-Encoding")) {
            refuse(req, res, "a body with a Transfer-Encoding; send it with a Content-Length");
            return httplib::Server::HandlerResponse::Handled;
        }
        // Which one the library would read is not defined; the moved-aside one would
        // be handed to a multipart parser of its own that was never set up.
        if (req.headers.count("Content-Type") > 1) {
            refuse(req, res, "more than one Content-Type header");
            return httplib::Server::HandlerResponse::Handled;
        }
        // The decoded path goes on to C functions that stop at a NUL, its content
        // type is taken from the whole: the two would disagree.
        if (req.path.find('\0') != std::string::npos) {
            refuse(req, res, "a NUL in the address");
            return httplib::Server::HandlerResponse::Handled;
        }
        // The request object is the library's own mutable one, handed over as const.
        auto &r = const_cast<httplib::Request &>(req);
        r.headers.erase(kFormType);
        const auto it = r.headers.find("Content-Type");
        if (it != r.headers.end()) {
            std::string type = it->second;
            r.headers.erase(it);
            r.headers.emplace(kFormType, std::move(type));
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.Post(".*", [this](const httplib::Request &req, httplib::Response &res,
                             const httplib::ContentReader &reader) { post(req, res, reader); });
    server.Post(".*", [](const httplib::Request &req, httplib::Response &res) {
        refuse(req, res, "a request without a body");
    });
    server.Get(".*", [this, secure](const httplib::Request &req, httplib::Response &res) { get(req, res, secure); });
    // Whatever the library itself turns down (a bad request line, another method)
    // still ends as the 500 that the controls understand.
    server.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request &req,
                                                                     httplib::Response &res) {
        if (res.status == 500 && !res.body.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        const std::string &cut = BoundedServer::headRefusal();
        refuse(req, res, cut.empty() ? "request refused (" + std::to_string(res.status) + ")" : cut);
        return httplib::Server::HandlerResponse::Handled;
    }));
    server.set_exception_handler([](const httplib::Request &req, httplib::Response &res, std::exception_ptr ep) {
        std::string why = "internal error";
        try {
            std::rethrow_exception(ep);
        } catch (const std::exception &e) {
            why += std::string(": ") + e.what();
        } catch (...) {
        }
        refuse(req, res, why);
    });
}

void CmsServer::Impl::post(const httplib::Request &req, httplib::Response &res,
                           const httplib::ContentReader &reader)
{
    try {
        const std::string path = lower(req.path);
        const bool upload = path == "/upload.asp" || path == "/cms/upload.asp";
        const bool article = std::find(postPaths.begin(), postPaths.end(), path) != postPaths.end();
        if (!upload && !article)
            throw Refused("no script at this path");
        const auto boundary = boundaryOf(req.get_header_value(kFormType));
        if (!boundary)
            throw Refused("not a multipart/form-data request with a boundary");

        ReceivedForm form(storage);
        MultipartParser parser(*boundary, form);
        std::string failure;
        const bool read = reader([&](const char *data, std::size_t size) {
            try {
                parser.feed(data, size);
                return true;
            } catch (const std::exception &e) {
                failure = e.what();
                return false;
            }
        });
        if (!failure.empty())
            throw Refused(failure);
        if (!read)
            throw Refused("the request was cut short");
        if (!parser.complete())
            throw Refused("the body ends before its closing delimiter");

        if (upload) {
            const QString answer = uploadScript.handle(form);
            logLine("stored: " + answer.toStdString());
            answerLegacy(res, answer);
        } else {
            const long long id = articleScript.handle(form);
            logLine("article " + std::to_string(id) + " stored");
            answerLegacy(res, QString::number(id));
        }
    } catch (const Refused &e) {
        refuse(req, res, e.what());
    } catch (const std::exception &e) {
        refuse(req, res, std::string("internal error: ") + e.what());
    }
}

void CmsServer::Impl::get(const httplib::Request &req, httplib::Response &res, bool secure)
{
    const std::string &path = req.path;
    if (path == "/")
        return answerPage(res, pages::index(articles.list()));
    if (path.rfind("/files/", 0) == 0)
        return serveFile(req, res);
    if (path == "/favicon.ico") {
        res.set_header("Cache-Control", "max-age=86400");
        return res.set_content(pages::favicon().toStdString(), "image/svg+xml");
    }
    if ((path == "/admin" || path.rfind("/admin/", 0) == 0) && serveAdmin(req, res, secure))
        return;
    static const std::string articlePrefix = "/article/";
    if (path.rfind(articlePrefix, 0) == 0) {
        const std::string digits = path.substr(articlePrefix.size());
        const bool number = !digits.empty() && digits.size() < 18
            && std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); });
        if (number)
            if (const auto a = articles.find(std::stoll(digits)))
                return answerPage(res, pages::article(*a));
        return refuse(req, res, "no such article");
    }
    refuse(req, res, "no such page");
}

void CmsServer::Impl::serveFile(const httplib::Request &req, httplib::Response &res)
{
    const int fd = storage.openStored(req.path.substr(7));
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        return refuse(req, res, "no such file");
    }
    auto file = std::shared_ptr<int>(new int(fd), [](int *p) {
        ::close(*p);
        delete p;
    });
    res.status = 200;
    res.set_header("X-Content-Type-Options", "nosniff");
    // Uploaded HTML or SVG must not run as the server's own pages.
    res.set_header("Content-Security-Policy", "sandbox");
    res.set_content_provider(
        static_cast<std::size_t>(st.st_size), contentTypeFor(req.path),
        [file](std::size_t offset, std::size_t length, httplib::DataSink &sink) {
            std::string buf(std::min(length, kServeChunk), '\0');
            const ssize_t n = ::pread(*file, buf.data(), buf.size(), static_cast<off_t>(offset));
            if (n <= 0)
                return false;
            return sink.write(buf.data(), static_cast<std::size_t>(n));
        },
        [file](bool) {});
}

bool CmsServer::Impl::serveAdmin(const httplib::Request &req, httplib::Response &res, bool secure)
{
    admin::Settings settings;
    // The controls resolve the script's host themselves: a name that only the
    // browser knows would not reach this server.
    const bool anyAddress = options.host == "0.0.0.0" || options.host == "::" || options.host.empty();
    std::string host = anyAddress ? req.get_header_value("Host") : options.host;
    if (anyAddress) {
        const auto colon = host.rfind(':');
        if (colon != std::string::npos && host.find(']', colon) == std::string::npos)
            host.erase(colon);
    } else if (host.find(':') != std::string::npos) {
        host = "[" + host + "]";
    }
    // A page served over https posts over https: the scripts are there too.
    settings.scriptBase = QString::fromStdString((secure ? "https://" : "http://") + host + ":"
                                                 + std::to_string(secure ? tlsPort : port));
    settings.publicAddress = options.publicAddress;
    if (req.path == "/admin") {
        res.set_redirect("/admin/");
        return true;
    }
    const auto answer = admin::file(QString::fromStdString(req.path), settings, articles.list());
    if (!answer)
        return false;
    res.status = 200;
    res.set_header("Content-Security-Policy", admin::policy(settings).toStdString());
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Cache-Control", "no-store");
    res.set_content(answer->body.toStdString(), answer->contentType.toStdString());
    return true;
}

int CmsServer::Impl::bindTls()
{
    tls = std::make_unique<BoundedServer>();
    tls->useTls(options.tlsCert, options.tlsKey);
    routes(*tls);
    return bindTo(*tls, options.host, options.tlsPort);
}

CmsServer::CmsServer(const ServerOptions &options)
    : d(std::make_unique<Impl>(options))
{
    d->routes(d->server);
}

CmsServer::~CmsServer() = default;

int CmsServer::bind()
{
    const auto &o = d->options;
    const int port = bindTo(d->server, o.host, o.port);
    d->port = port;
    if (!o.tlsCert.empty())
        d->tlsPort = d->bindTls();
    return port;
}

int CmsServer::tlsPort() const
{
    return d->tlsPort;
}

bool CmsServer::run()
{
    std::future<void> tlsDone;
    if (d->tls)
        tlsDone = std::async(std::launch::async, [this] { d->tls->listen_after_bind(); });
    const bool ok = d->server.listen_after_bind();
    // The library ignores stop() on a server that has not begun to listen yet, so
    // it is said again until the HTTPS thread has ended.
    while (tlsDone.valid() && tlsDone.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        d->tls->stop();
    return ok;
}

void CmsServer::stop()
{
    d->server.stop();
    if (d->tls)
        d->tls->stop();
}

} // namespace tx::cms
