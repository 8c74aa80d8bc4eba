#include "cms/ReceivedForm.h"

#include "cms/Refused.h"

#include <string>

namespace tx::cms {

ReceivedForm::ReceivedForm(Storage &storage, FormLimits limits) : storage_(storage), limits_(limits) {}

void ReceivedForm::keep(std::size_t bytes)
{
    keptBytes_ += static_cast<long long>(bytes);
    if (keptBytes_ > limits_.keptBytes)
        throw Refused("the names and text fields are larger than " + std::to_string(limits_.keptBytes) + " bytes");
}

void ReceivedForm::beginPart(const PartHead &head)
{
    if (++parts_ > limits_.parts)
        throw Refused("more than " + std::to_string(limits_.parts) + " parts in the request");
    keep(head.rawNameBytes);
    // A browser sends an empty filename for a file input left empty: not a file.
    inFile_ = head.isFile && !head.fileName.isEmpty();
    if (inFile_) {
        if (files_.size() >= static_cast<std::size_t>(limits_.files))
            throw Refused("more than one file in the request");
        files_.push_back(ReceivedFile{head.name, head.fileName, storage_.receive()});
    } else {
        fields_.emplace_back(head.name, QByteArray());
    }
}

void ReceivedForm::partData(const char *data, std::size_t size)
{
    if (inFile_) {
        files_.back().file.write(data, size);
        return;
    }
    keep(size);
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
