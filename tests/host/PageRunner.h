#pragma once
// Runs a page script through build/bin/tessarix in a fresh per-user registry,
// keeping this process's event loop (and its test servers) running meanwhile.
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

namespace tx::test {

struct PageRun {
    int status = -1;
    QString out;
    QString err;
};

class PageRunner {
public:
    PageRunner();
    QString configHome() const { return home.path() + QStringLiteral("/config"); }
    QString dir() const { return home.path(); }
    void setEnv(const QString &name, const QString &value) { env.insert(name, value); }

    PageRun run(const QString &source);
    // tessarix with other arguments (register, unregister).
    PageRun tessarix(const QStringList &args);

private:
    QTemporaryDir home;
    QProcessEnvironment env;
};

} // namespace tx::test
