#pragma once
// What a multipart request carried: its text fields (names without letter case,
// values in UTF-8) in memory, its file parts as files being received.
#include "cms/MultipartParser.h"
#include "cms/Storage.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace tx::cms {

struct ReceivedFile {
    QString partName;
    QString fileName;  // the filename parameter as sent
    IncomingFile file;
};

class ReceivedForm : public PartSink {
public:
    // Text fields together may hold at most maxTextBytes.
    ReceivedForm(Storage &storage, long long maxTextBytes);

    void beginPart(const PartHead &head) override;
    void partData(const char *data, std::size_t size) override;
    void endPart() override;

    // The first field of that name, compared without letter case.
    std::optional<QString> field(const QString &name) const;
    bool has(const QString &name) const { return field(name).has_value(); }
    std::vector<ReceivedFile> &files() { return files_; }

private:
    Storage &storage_;
    long long maxTextBytes_;
    long long textBytes_ = 0;
    std::vector<std::pair<QString, QByteArray>> fields_;
    std::vector<ReceivedFile> files_;
    bool inFile_ = false;
};

} // namespace tx::cms
