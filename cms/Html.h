#pragma once
// HTML text for the server's answers and pages.
#include <QString>

namespace tx::cms::html {

// & < > " ' escaped.
QString escape(const QString &text);
// An attribute value: bare when it needs no quotes (the controls match "alt=Click"
// literally), else quoted and escaped.
QString attribute(const QString &value);

} // namespace tx::cms::html
