#pragma once
// The multipart package: file parts and text fields, each kept in insertion order
// under keys compared without letter case.
#include "upload/FormData.h"

#include <QList>
#include <QString>

namespace tx {

class CompondFile {
public:
    void RemoveAll();
    void addFormData(const QString &name, const QString &value);
    void RemoveFormData(const QString &name);
    // Writes the body exactly as an upload streams it. The file is opened without
    // truncation (callers delete an old one first).
    void PackageToFile(const QString &path) const;
    void AddUploadFile(const QString &name, const QString &filename);
    void RemoveUploadFile(const QString &filename);

    const QList<UploadFile> &files() const { return fileParts; }
    const QList<FormData> &fields() const { return formFields; }

private:
    QList<UploadFile> fileParts;
    QList<FormData> formFields;
};

} // namespace tx
