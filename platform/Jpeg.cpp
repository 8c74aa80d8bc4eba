#include "platform/Jpeg.h"

#include "core/AutomationError.h"
#include "core/TempFolder.h"

#include <QFile>
#include <QImageWriter>
#include <unistd.h>

namespace tx::jpeg {
namespace {

int &injected()
{
    static int status = 0;
    return status;
}

} // namespace

void setInjectedFailure(int status) { injected() = status; }
int injectedFailure() { return injected(); }

int write(const QImage &image, const QString &path, int quality)
{
    if (injected() != 0)
        return injected();
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return InvalidImage;
    if (!QImageWriter::supportedImageFormats().contains("jpeg"))
        return UnsupportedFormat;

    int fd = -1;
    try {
        fd = temp::createNoFollow(path);
    } catch (const AutomationError &) {
        return DeviceError; // a directory, a link, or no write permission
    }
    int status = Ok;
    {
        QFile file;
        if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            status = DeviceError;
        } else {
            QImageWriter writer(&file, "jpeg");
            writer.setQuality(quality);
            writer.setOptimizedWrite(false);
            writer.setProgressiveScanWrite(false);
            if (!writer.write(image))
                status = int(writer.error()) + 1;
            else if (!file.flush() || file.error() != QFileDevice::NoError)
                status = DeviceError;
            file.close();
            if (status == Ok && file.error() != QFileDevice::NoError)
                status = DeviceError;
        }
    }
    if (status != Ok)
        temp::removeFile(path); // never leave half a picture that looks whole
    return status;
}

} // namespace tx::jpeg
