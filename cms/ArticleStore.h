#pragma once
// The articles the import controls post, kept in SQLite (ROOT/cms.sqlite, table
// "articles"). One connection shared by the server's threads under a lock.
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>
#include <vector>

struct sqlite3;

namespace tx::cms {

// The separator the controls put after every page of an article.
inline constexpr char16_t kPageSeparator[] = u"----abcdefghijklmnopqrstuvwxyz----";

struct Article {
    long long id = 0;
    QString columnId, issueId, objectType, title, content, author, curPath;
    QString created;  // UTC, "YYYY-MM-DD HH:MM:SS"
    int pages = 0;
};

// The pages of an article's content: split at the separator, the empty rest after
// the final separator dropped.
QStringList pagesOf(const QString &content);

class ArticleStore {
public:
    explicit ArticleStore(const QString &path);  // throws std::runtime_error
    ~ArticleStore();
    ArticleStore(const ArticleStore &) = delete;
    ArticleStore &operator=(const ArticleStore &) = delete;

    long long add(const Article &article);  // returns the new id; throws Refused
    std::optional<Article> find(long long id);
    std::vector<Article> list();  // newest first, without the contents

private:
    void exec(const char *sql);
    sqlite3 *db_ = nullptr;
    std::mutex mutex_;
};

} // namespace tx::cms
