#pragma once
#include <QString>

namespace tx {

// Ends every posted article content and stands between the pages of a paged one;
// the server splits articles at it.
inline const QString PAGE_SEPARATOR = QStringLiteral("----abcdefghijklmnopqrstuvwxyz----");

} // namespace tx
