#pragma once
// The JPEG writer: baseline JPEG through Qt's encoder, with a failure injection
// point because tests run as root and cannot make a real write fail.
#include <QImage>
#include <QString>

namespace tx::jpeg {

// The encoder's status numbers: 0 is success; the others are QImageWriter's
// error codes plus one, so that none of them is 0.
enum Status : int {
    Ok = 0,
    UnknownError = 1,      // QImageWriter::UnknownError
    DeviceError = 2,       // the file cannot be created or written
    UnsupportedFormat = 3, // no JPEG encoder installed
    InvalidImage = 4,      // null or empty picture
};

// Writes `image` to `path` as a baseline (not progressive, not optimised) JPEG at
// `quality`, creating the file without following a symbolic link at its last
// component. Returns a Status; a failed write leaves no file behind.
int write(const QImage &image, const QString &path, int quality = 100);

// The scriptable twin's switch: makes every following write fail with `status`
// without touching the file system; 0 ends the injection.
void setInjectedFailure(int status);
int injectedFailure();

} // namespace tx::jpeg
