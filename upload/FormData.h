#pragma once
// One text field of the multipart package, and one file part.
#include "upload/PackageError.h"

#include <QString>

namespace tx {

class FormData {
public:
    QString DataName() const;
    void setDataName(const QString &v);
    QString DataValue() const;
    void setDataValue(const QString &v);

private:
    QString name;
    QString value;
};

class UploadFile {
public:
    void SetupUploadFile(const QString &p_name, const QString &p_filename, const QString &p_content_type);
    QString m_content_type() const;
    void set_m_content_type(const QString &v);
    QString m_filename() const;
    void set_m_filename(const QString &v);
    QString m_name() const;
    void set_m_name(const QString &v);

private:
    QString name;
    QString filename;
    QString contentType;
};

} // namespace tx
