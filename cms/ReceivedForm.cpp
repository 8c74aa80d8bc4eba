#include "cms/ReceivedForm.h"

#include "cms/Refused.h"

namespace tx::cms {

ReceivedForm::ReceivedForm(Storage &storage, long long maxTextBytes)
    : storage_(storage), maxTextBytes_(maxTextBytes)
{
}

void ReceivedForm::beginPart(const PartHead &head)
{
    // A browser sends an empty filename for a file input left empty: not a file.
    inFile_ = head.isFile && !head.fileName.isEmpty();
    if (inFile_)
        files_.push_back(ReceivedFile{head.name, head.fileName, storage_.receive()});
    else
        fields_.emplace_back(head.name, QByteArray());
}

void ReceivedForm::partData(const char *data, std::size_t size)
{
    if (inFile_) {
        files_.back().file.write(data, size);
        return;
    }
    textBytes_ += static_cast<long long>(size);
    if (textBytes_ > maxTextBytes_)
        throw Refused("the text fields are too large");
    fields_.back().second.append(data, static_cast<qsizetype>(size));
}

void ReceivedForm::endPart()
{
    if (inFile_)
        files_.back().file.close();
    inFile_ = false;
}

std::optional<QString> ReceivedForm::field(const QString &name) const
{
    for (const auto &[key, value] : fields_)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(value);
    return std::nullopt;
}

} // namespace tx::cms
