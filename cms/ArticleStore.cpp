#include "cms/ArticleStore.h"

#include "cms/Refused.h"

#include <QDateTime>

#include <sqlite3.h>
#include <stdexcept>

namespace tx::cms {
namespace {

// Finalizes the statement whatever happens.
struct Statement {
    sqlite3_stmt *st = nullptr;
    Statement(sqlite3 *db, const char *sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
            throw Refused(std::string("database: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(st); }
    void bind(int i, const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(st, i, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    }
    QString text(int column) const
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(st, column));
        return QString::fromUtf8(p, sqlite3_column_bytes(st, column));
    }
};

constexpr const char *kSchema = R"(
CREATE TABLE IF NOT EXISTS articles (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    columnid TEXT NOT NULL,
    issueid TEXT NOT NULL,
    objecttype TEXT NOT NULL,
    title TEXT NOT NULL,
    content TEXT NOT NULL,
    author TEXT NOT NULL,
    curpath TEXT NOT NULL,
    pages INTEGER NOT NULL,
    created TEXT NOT NULL
))";

Article rowOf(const Statement &s, bool withContent)
{
    Article a;
    a.id = sqlite3_column_int64(s.st, 0);
    a.columnId = s.text(1);
    a.issueId = s.text(2);
    a.objectType = s.text(3);
    a.title = s.text(4);
    if (withContent)
        a.content = s.text(5);
    a.author = s.text(6);
    a.curPath = s.text(7);
    a.pages = sqlite3_column_int(s.st, 8);
    a.created = s.text(9);
    return a;
}

} // namespace

QStringList pagesOf(const QString &content)
{
    if (content.isEmpty())
        return {};
    const QString separator = QString::fromUtf16(kPageSeparator);
    QStringList pages = content.split(separator);
    if (content.endsWith(separator))
        pages.removeLast();
    return pages;
}

ArticleStore::ArticleStore(const QString &path)
{
    if (sqlite3_open_v2(path.toUtf8().constData(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr)
        != SQLITE_OK) {
        const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw std::runtime_error("cannot open " + path.toStdString() + ": " + why);
    }
    sqlite3_busy_timeout(db_, 5000);
    try {
        exec(kSchema);
    } catch (const Refused &e) {
        sqlite3_close(db_);
        throw std::runtime_error(e.what());
    }
}

ArticleStore::~ArticleStore()
{
    sqlite3_close(db_);
}

void ArticleStore::exec(const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string why = error ? error : "unknown error";
        sqlite3_free(error);
        throw Refused("database: " + why);
    }
}

long long ArticleStore::add(const Article &a)
{
    std::lock_guard lock(mutex_);
    Statement s(db_, "INSERT INTO articles (columnid, issueid, objecttype, title, content, author, "
                     "curpath, pages, created) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    s.bind(1, a.columnId);
    s.bind(2, a.issueId);
    s.bind(3, a.objectType);
    s.bind(4, a.title);
    s.bind(5, a.content);
    s.bind(6, a.author);
    s.bind(7, a.curPath);
    sqlite3_bind_int(s.st, 8, static_cast<int>(pagesOf(a.content).size()));
    s.bind(9, QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    if (sqlite3_step(s.st) != SQLITE_DONE)
        throw Refused(std::string("database: ") + sqlite3_errmsg(db_));
    return sqlite3_last_insert_rowid(db_);
}

std::optional<Article> ArticleStore::find(long long id)
{
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT id, columnid, issueid, objecttype, title, content, author, curpath, "
                     "pages, created FROM articles WHERE id = ?");
    sqlite3_bind_int64(s.st, 1, id);
    if (sqlite3_step(s.st) != SQLITE_ROW)
        return std::nullopt;
    return rowOf(s, true);
}

std::vector<Article> ArticleStore::list()
{
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT id, columnid, issueid, objecttype, title, '', author, curpath, "
                     "pages, created FROM articles ORDER BY id DESC");
    std::vector<Article> out;
    while (sqlite3_step(s.st) == SQLITE_ROW)
        out.push_back(rowOf(s, false));
    return out;
}

} // namespace tx::cms
