#include "upload/CompondFile.h"

#include "core/AutomationError.h"
#include "upload/MultipartBody.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tx {
namespace {

template <typename List, typename Key>
qsizetype indexOf(const List &list, const QString &key, Key keyOf)
{
    for (qsizetype i = 0; i < list.size(); ++i)
        if (QString::compare(keyOf(list[i]), key, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

qsizetype fieldIndex(const QList<FormData> &fields, const QString &name)
{
    return indexOf(fields, name, [](const FormData &f) { return f.DataName(); });
}

qsizetype fileIndex(const QList<UploadFile> &files, const QString &filename)
{
    return indexOf(files, filename, [](const UploadFile &f) { return f.m_filename(); });
}

} // namespace

void CompondFile::RemoveAll()
{
    fileParts.clear();
    formFields.clear();
}

void CompondFile::addFormData(const QString &name, const QString &value)
{
    if (fieldIndex(formFields, name) >= 0)
        raiseRuntime(ErrDuplicateKey);
    FormData f;
    f.setDataName(name);
    f.setDataValue(value);
    formFields.append(f);
}

void CompondFile::RemoveFormData(const QString &name)
{
    const qsizetype i = fieldIndex(formFields, name);
    if (i < 0)
        raiseRuntime(ErrInvalidCall);
    formFields.removeAt(i);
}

void CompondFile::AddUploadFile(const QString &name, const QString &filename)
{
    if (fileIndex(fileParts, filename) >= 0)
        throw AutomationError(kErrPackage, QStringLiteral("CompondFile:AddUploadFile Method"), QString());
    packageMember("CompondFile:AddUploadFile Method", [&] {
        UploadFile f;
        f.SetupUploadFile(name, filename, QStringLiteral("text/plain"));
        fileParts.append(f);
    });
}

void CompondFile::RemoveUploadFile(const QString &filename)
{
    const qsizetype i = fileIndex(fileParts, filename);
    if (i < 0)
        raiseRuntime(ErrInvalidCall);
    fileParts.removeAt(i);
}

void CompondFile::PackageToFile(const QString &path) const
{
    std::unique_ptr<MultipartBody> body = MultipartBody::snapshot(*this);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        throw fileError(errno, path);
    QByteArray buf(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = body->read(buf.data(), buf.size());
        if (n < 0) {
            ::close(fd);
            throw runtimeError(ErrPathFileAccess, body->error());
        }
        if (n == 0)
            break;
        for (qint64 off = 0; off < n;) {
            const ssize_t w = ::write(fd, buf.constData() + off, size_t(n - off));
            if (w < 0) {
                const int err = errno;
                ::close(fd);
                throw fileError(err, path);
            }
            off += w;
        }
    }
    ::close(fd);
}

} // namespace tx
