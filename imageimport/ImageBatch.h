#pragma once
// One run of the batch: every picture of the list uploaded with its thumbnail and
// watermark fields, the server's fragments composed into articles, the articles
// posted, and the form put back.
#include "imageimport/ArticleComposer.h"

#include <QString>

namespace tx {
class ImageImport;
struct AutomationError;
} // namespace tx

namespace tx::image {

struct ImageImportForm;

class ImageBatch {
public:
    explicit ImageBatch(ImageImport &control);

    // The whole batch; never throws: a failure ends it with two log lines.
    void run();

private:
    void begin();
    void publish();
    void processPicture(int index);
    void PostImageArticle();
    void restore();
    // The two log lines of a batch ended by a failure.
    void failed(const AutomationError &e);

    ImageImport &ctl;
    ImageImportForm &f;
    ArticleComposer composer;
    int placed = 0; // pictures that went into the article
    QString strArticleTitle;
};

} // namespace tx::image
