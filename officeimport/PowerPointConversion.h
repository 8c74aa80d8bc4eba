#pragma once
// A presentation to one article of slide pictures: exported as one JPEG per slide,
// every picture uploaded, one img tag per slide, each slide a page.
#include <QString>

namespace tx {

class ImportContext;

class PowerPointConversion {
public:
    explicit PowerPointConversion(ImportContext &context) : ctx(context) {}

    int import(const QString &fileDoc, const QString &colID, const QString &UserName);

    // The word the presentation program starts its picture names with.
    static QString pictureWord(int32_t languageId);

private:
    ImportContext &ctx;
};

} // namespace tx
