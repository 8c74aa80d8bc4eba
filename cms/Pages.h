#pragma once
// The pages to browse the stored articles (UTF-8 HTML). Every stored text is
// escaped; an article's own HTML is shown in a sandboxed frame (srcdoc), so its
// markup and pictures render while no script of it runs.
#include "cms/ArticleStore.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace tx::cms::pages {

QString index(const std::vector<Article> &articles);
QString article(const Article &article);
// The site's icon (SVG), answered for /favicon.ico.
QByteArray favicon();

} // namespace tx::cms::pages
