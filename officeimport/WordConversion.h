#pragma once
// A Word document to one article: saved as HTML by the word processor, whole or
// page by page, cleaned with every picture uploaded, and posted.
#include "officeimport/ConversionSteps.h"

#include <QString>
#include <memory>

namespace tx {

class ImportContext;
namespace office {
class WordApplication;
class WordDocument;
} // namespace office

class WordConversion {
public:
    explicit WordConversion(ImportContext &context);
    ~WordConversion();

    // The document as one part.
    int importWhole(const QString &fileDoc, const QString &colID, const QString &UserName);
    // One part per page, in page order.
    int importPaged(const QString &fileDoc, const QString &colID, const QString &UserName);

    // The file name up to its first ".": "Annual report.final.doc" -> "Annual report".
    static QString titleOf(const QString &fileDoc);
    // The empty pieces the word processor leaves in a page's HTML removed.
    static QString dropEmptyPieces(QString body);

private:
    void start(const QString &fileDoc, const QString &colID);
    // The saved HTML read back and cleaned; the clean body is the cleaner's.
    void convertSaved();

    ImportContext &ctx;
    // Declared first, so the documents close before their files go.
    conversion::WorkFiles work;
    std::unique_ptr<office::WordApplication> app;
    std::unique_ptr<office::WordDocument> doc;
    QString htmlFile;
};

} // namespace tx
