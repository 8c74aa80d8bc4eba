#include "upload/FormData.h"

namespace tx {

QString FormData::DataName() const
{
    return packageMember("FormData:DataName Property Get", [&] { return name; });
}

void FormData::setDataName(const QString &v)
{
    packageMember("FormData:DataName Property Let", [&] { name = v; });
}

QString FormData::DataValue() const
{
    return packageMember("FormData:DataValue Property Get", [&] { return value; });
}

void FormData::setDataValue(const QString &v)
{
    packageMember("FormData:DataValue Property Let", [&] { value = v; });
}

void UploadFile::SetupUploadFile(const QString &p_name, const QString &p_filename,
                                 const QString &p_content_type)
{
    packageMember("UploadFile:SetupUploadFile Method", [&] {
        name = p_name;
        filename = p_filename;
        contentType = p_content_type;
    });
}

QString UploadFile::m_content_type() const
{
    return packageMember("UploadFile:m_content_type Property Get", [&] { return contentType; });
}

void UploadFile::set_m_content_type(const QString &v)
{
    packageMember("UploadFile:m_content_type Property Let", [&] { contentType = v; });
}

QString UploadFile::m_filename() const
{
    return packageMember("UploadFile:m_filename Property Get", [&] { return filename; });
}

void UploadFile::set_m_filename(const QString &v)
{
    packageMember("UploadFile:m_filename Property Let", [&] { filename = v; });
}

QString UploadFile::m_name() const
{
    return packageMember("UploadFile:m_name Property Get", [&] { return name; });
}

void UploadFile::set_m_name(const QString &v)
{
    packageMember("UploadFile:m_name Property Let", [&] { name = v; });
}

} // namespace tx
