#pragma once
// Reduces office-generated HTML to a clean body fragment and a title, uploading
// every picture on the way. The import control owns one and fills its input
// fields, calls CleanHtml and reads the output fields.
#include "officeimport/Tag.h"
#include "officeimport/TokenCache.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <functional>

namespace tx {

class HtmlCleaner {
public:
    // Uploads one picture (the control's StartUpload, then its answer) and returns
    // the answer text: the picture's address on the server.
    using PictureUpload = std::function<QString(const QString &sf, const QString &localFile, int contentId)>;
    // Lets pending events run; called at most every kPumpIntervalMs of cleaning.
    using Pump = std::function<void()>;
    static constexpr int kPumpIntervalMs = 50;

    HtmlCleaner();

    void setPictureUpload(PictureUpload upload) { uploadPicture = std::move(upload); }
    void setPump(Pump p) { pump = std::move(p); }

    // Input.
    QString strSourceHtml;
    QString strPicFolder; // prefix of every picture's local path; a folder ends with "/"
    // The folder every picture the conversion wrote lies in (empty: the folder of
    // strPicFolder), and the user's document's folder, against which a picture
    // the document only links is resolved (empty: no linked pictures). A picture
    // outside both is refused with error 70.
    QString strPicRoot;
    QString strDocFolder;
    QString strCurPath;   // the server folder of every picture upload
    int32_t lngContentId = -1;
    // Input and output: CleanHtml only appends to it or replaces it.
    QString strTitle;
    // Output.
    QString strCleanBody;
    // Work. Positions count UTF-16 code units from 1. End tags are searched for in
    // the source lowered unit by unit on the fly, which finds what a lower-case
    // copy would at the same positions, without the copy.
    qsizetype lngScanPos = 1;
    qsizetype lngCopyMark = 1;
    bool bInBody = false;
    bool bInTitle = false;
    bool bHasTitle = false;

    // Cleans strSourceHtml into strCleanBody (and maybe strTitle). Fails with error
    // 5 when a head element whose content is skipped has no end tag.
    void CleanHtml();
    // The next complete tag at or after lngScanPos, with lngScanPos left at its "<";
    // an empty SourceHTML when there is none.
    Tag NextTag();
    // Moves lngScanPos past the end tag of `tag`'s element.
    void SkipElement(const Tag &tag);
    // The tag written back with its kept attributes; uploads img sources.
    QString RebuildTag(const Tag &tag);
    QString UploadPicture(const Tag &tag);
    // The local file a picture's "src" names, inside one of the two folders
    // above; empty for a web address (http:, https:, data:), which stays as it is.
    QString picturePath(const QString &src) const;

    // An attribute value made safe between double quotes.
    static QString escapeAttribute(const QString &value);

    static QString GetTempFolder();

private:
    void ParseTagToken(Tag &tag, qsizetype &segStart, qsizetype end, qsizetype quotePos, bool &nameTaken);
    // NextTag without the copy of the tag's text, which the clean never needs:
    // `length` is that text's length, 0 when no complete tag was found.
    void scanTag(Tag &tag, qsizetype &length);
    void appendRebuilt(QString &out, const Tag &tag, bool picture);

    // The one place where a 1-based position meets the 0-based string.
    QChar at(qsizetype pos) const { return strSourceHtml.constData()[pos - 1]; }
    QStringView slice(qsizetype from, qsizetype to) const; // [from, to], 1-based, clipped
    // First position p >= from where `what` lies wholly before `before`; 0 when none.
    qsizetype indexOf(QStringView what, qsizetype from, qsizetype before) const;
    qsizetype indexOf(QChar c, qsizetype from, qsizetype before) const;
    // Like indexOf on the source lowered unit by unit; `what` is "</" + lower case.
    qsizetype lowerIndexOf(QStringView what, qsizetype from) const;

    PictureUpload uploadPicture;
    Pump pump;
    TokenCache tokens;
    // False while cleaning: attributes that RebuildTag drops are not stored.
    bool keepAllAttributes = true;
    QElapsedTimer sincePump;
    bool uploadedSinceCheck = false;
};

} // namespace tx
