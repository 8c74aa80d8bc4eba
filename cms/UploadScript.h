#pragma once
// The upload script: stores the file part of a request under files/ plus the
// request's folder, and for the image import's picture uploads stamps the
// watermark and makes the thumbnail.
#include <QString>

namespace tx::cms {

class ReceivedForm;
class Storage;

class UploadScript {
public:
    explicit UploadScript(Storage &storage) : storage_(storage) {}

    // The answer's body: the stored file's address, or for a picture upload an
    // HTML fragment showing it. Throws Refused.
    QString handle(ReceivedForm &form);

private:
    QString storePicture(ReceivedForm &form, const QStringList &folder, const QString &name);
    Storage &storage_;
};

} // namespace tx::cms
