#pragma once
// The reference server run as a child process, with the helpers its tests share.
#include "CmsProcess.h"
#include "core/CodePage.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSet>
#include <QTemporaryDir>

#include <httplib.h>
#include <sqlite3.h>

#include <thread>

namespace cmstest {

inline const std::string kFile = "file bytes\r\n\0\x01 end";

inline std::string readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll().toStdString();
}

inline std::string imageBytes(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

inline Part field(const std::string &name, const std::string &value)
{
    return Part{name, std::nullopt, value};
}

inline Part file(const std::string &fileName, const std::string &data)
{
    const std::size_t cut = fileName.find_last_of('\\');
    return Part{fileName.substr(cut + 1), fileName, data};
}

class CmsServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        tx::codepage::select(QStringLiteral("936"));
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + QStringLiteral("/root");  // created by the server
        server = std::make_unique<CmsProcess>(root, QStringList{QStringLiteral("--post-path"),
                                                                QStringLiteral("/news/post.asp")});
        ASSERT_NE(server->port(), 0);
    }
    void TearDown() override
    {
        if (server) {
            EXPECT_EQ(server->stop(), 0) << "SIGTERM ends the server cleanly";
        }
    }

    // Regular files anywhere under the root but the database.
    QStringList storedFiles() const
    {
        QStringList out;
        QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next().mid(root.size() + 1);
            if (!path.startsWith(QStringLiteral("cms.sqlite")))
                out << path;
        }
        out.sort();
        return out;
    }
    QString answer(const Response &r) const { return tx::codepage::decode(QByteArray::fromStdString(r.body)); }

    QTemporaryDir dir;
    QString root;
    std::unique_ptr<CmsProcess> server;
};

} // namespace cmstest

using namespace cmstest;
