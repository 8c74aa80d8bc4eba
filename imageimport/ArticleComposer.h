#pragma once
// How a batch of picture fragments becomes article content: the title a picture
// gives, the fragment an answer gives, and the three article modes.
#include <QString>

namespace tx::image {

enum class ArticleMode {
    OneC,       // all pictures in one article, captioned, no paging
    OneCPaging, // one article, one picture per page
    OnePic,     // one article per picture
};

// The picture's bare name without every ".<its extension>" (case-sensitive).
QString titleByPictureName(const QString &path);

// The server's answer with every "Click" (the alt text asked for) as "点击看大图".
QString fragmentFromAnswer(const QString &answer);

class ArticleComposer {
public:
    // Starts an empty content.
    void reset() { strContent.clear(); }
    // Takes one picture's fragment. True when its article is to be posted now
    // (one article per picture): content() then holds that article alone.
    bool addPicture(ArticleMode mode, const QString &fragment, const QString &title);
    // Closes the one article of the single-article modes. False for one article
    // per picture, whose articles are all posted already.
    bool finish(ArticleMode mode);
    const QString &content() const { return strContent; }

private:
    QString strContent;
};

} // namespace tx::image
