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

// What one request may make the server keep in memory. Every limit is checked as
// the parts arrive, so a request that passes one is refused before it is read on.
struct FormLimits {
    long long keptBytes = 16LL * 1024 * 1024;  // names and file names as sent, and text values
    int parts = 1000;
    int files = 1;                             // each one holds an open file
};

class ReceivedForm : public PartSink {
public:
    ReceivedForm(Storage &storage, FormLimits limits = {});

    void beginPart(const PartHead &head) override;
    void partData(const char *data, std::size_t size) override;
    void endPart() override;

    // The first field of that name, compared without letter case.
    std::optional<QString> field(const QString &name) const;
    bool has(const QString &name) const { return field(name).has_value(); }
    std::vector<ReceivedFile> &files() { return files_; }

private:
    void keep(std::size_t bytes);

    Storage &storage_;
    FormLimits limits_;
    long long keptBytes_ = 0;
    int parts_ = 0;
    std::vector<std::pair<QString, QByteArray>> fields_;
    std::vector<ReceivedFile> files_;
    bool inFile_ = false;
};

} // namespace tx::cms
