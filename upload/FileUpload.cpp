#include "upload/FileUpload.h"

#include "core/AutomationError.h"
#include "upload/UploadMachinery.h"
#include "util/UserFiles.h"

#include <QProgressBar>
#include <QVBoxLayout>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace tx {

FileUpload::FileUpload(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FileUpload"));
    pbFile = new QProgressBar(this);
    pbFile->setObjectName(QStringLiteral("pbFile"));
    pbFile->setRange(0, 100);
    pbFile->setValue(0);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pbFile);
    resize(320, 25);
    upload = new UploadMachinery(this, pbFile, UploadMachinery::Profile{QStringLiteral("/upload.asp"), true, false, {}});
}

QString FileUpload::NewFileName() const { return upload->answer; }
void FileUpload::setNewFileName(const QString &v) { upload->answer = v; }

void FileUpload::AddUploadFile(const QString &p_name, const QString &p_filename)
{
    upload->objPackage().AddUploadFile(p_name, p_filename);
}

void FileUpload::addFormData(const QString &p_FormDataName, const QString &p_FormDataValue)
{
    upload->objPackage().addFormData(p_FormDataName, p_FormDataValue);
}

void FileUpload::UploadFile()
{
    upload->UploadFile();
}

void FileUpload::TestOK() {}

void FileUpload::StartUpload(const QString &sf, const QString &pUrl, const QString &localfile, int contentid)
{
    upload->ParseUploadUrl(pUrl);
    upload->sendFile(sf, localfile, contentid);
}

int FileUpload::GetFileSize(const QString &p_filename)
{
    struct stat st {};
    const int fd = userfiles::openOrThrow(p_filename, O_PATH);
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    // A folder, a FIFO or a device has no size that an upload would send.
    if (!regular)
        raiseRuntime(ErrFileNotFound, userfiles::shown(p_filename));
    if (st.st_size > std::numeric_limits<int32_t>::max())
        raiseRuntime(ErrOverflow, userfiles::shown(p_filename));
    return int(st.st_size);
}

} // namespace tx
