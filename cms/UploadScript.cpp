#include "cms/UploadScript.h"

#include "cms/Html.h"
#include "cms/PictureWork.h"
#include "cms/ReceivedForm.h"
#include "cms/Refused.h"
#include "cms/Storage.h"

namespace tx::cms {
namespace {

QString stemOf(const QString &relativePath)
{
    const QString name = relativePath.mid(relativePath.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

IncomingFile incomingWith(Storage &storage, const QByteArray &bytes)
{
    IncomingFile file = storage.receive();
    file.write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return file;
}

} // namespace

QString UploadScript::handle(ReceivedForm &form)
{
    auto &files = form.files();
    if (files.empty())
        throw Refused("no file in the request");
    if (files.size() > 1)
        throw Refused("more than one file in the request");
    // The file controls send "curPath"; the folder upload sends "path".
    const QString folderField = form.field(QStringLiteral("curPath"))
                                    .value_or(form.field(QStringLiteral("path")).value_or(QString()));
    const QStringList folder = Storage::folderOf(folderField);
    const QString name = Storage::bareName(files.front().fileName);
    if (PictureRequest::isPictureUpload(form))
        return storePicture(form, folder, name);
    return Storage::address(storage_.place(files.front().file, folder, name));
}

QString UploadScript::storePicture(ReceivedForm &form, const QStringList &folder, const QString &name)
{
    const PictureRequest request = PictureRequest::fromForm(form);
    IncomingFile &original = form.files().front().file;
    QString storedName = name;
    IncomingFile thumbFile;
    QString thumbExt;

    if (request.watermark || request.wantsThumbnail()) {
        const QByteArray sourceFormat = picture::formatOf(original.path());
        if (sourceFormat.isEmpty())
            throw Refused("the file is not a picture");
        QImage image = picture::load(original.path());
        if (request.watermark && !request.text.isEmpty()) {
            picture::stamp(image, request);
            QByteArray format = sourceFormat;
            const QByteArray bytes = picture::encode(image, format);
            if (format != sourceFormat) {  // a GIF comes back as PNG
                const qsizetype dot = name.lastIndexOf(u'.');
                storedName = (dot > 0 ? name.left(dot) : name) + u'.' + picture::extensionOf(format);
            }
            original = incomingWith(storage_, bytes);
        }
        // Everything is encoded before anything is placed: a failure stores nothing.
        if (request.wantsThumbnail()) {
            QByteArray format = sourceFormat == "jpeg" ? QByteArray("jpeg") : QByteArray("png");
            const QByteArray bytes = picture::encode(
                picture::thumbnail(image, request.thumbWidth, request.thumbHeight), format);
            thumbFile = incomingWith(storage_, bytes);
            thumbExt = picture::extensionOf(format);
        }
    }

    const QString stored = storage_.place(original, folder, storedName);
    const QString address = Storage::address(stored);
    if (!thumbFile.valid())
        return QStringLiteral("<img src=%1>").arg(html::attribute(address));
    const QString thumb = storage_.place(thumbFile, folder, stemOf(stored) + QStringLiteral("_thumb.") + thumbExt);
    return QStringLiteral("<a href=%1 target=%2><img src=%3 alt=%4></a>")
        .arg(html::attribute(address), html::attribute(request.target),
             html::attribute(Storage::address(thumb)), html::attribute(request.alt));
}

} // namespace tx::cms
