// Owns the X clipboard for the clipboard tests, as a file manager does after a
// copy: offers the formats given as pairs of arguments (MIME type, then the data
// or "@file") until its standard input is closed. Prints "ready" once the
// clipboard is its own.
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto *data = new QMimeData;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        // "@path": the data is that file's, for lists beyond an argument's limit.
        QByteArray bytes = args[i + 1].toUtf8();
        if (bytes.startsWith('@')) {
            QFile f(QString::fromUtf8(bytes.mid(1)));
            if (!f.open(QIODevice::ReadOnly))
                return 1;
            bytes = f.readAll();
        }
        data->setData(args[i], bytes);
    }
    QGuiApplication::clipboard()->setMimeData(data);
    if (QGuiApplication::clipboard()->ownsClipboard()) {
        std::fputs("ready\n", stdout);
    } else {
        std::fputs("not owner\n", stdout);
        return 1;
    }
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[64];
        if (::read(STDIN_FILENO, buf, sizeof buf) <= 0)
            app.quit();
    });
    return app.exec();
}
