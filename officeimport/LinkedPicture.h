#pragma once
// A picture file that a document only links, looked at before it is uploaded:
// whatever its name says, it must be a regular file holding a picture.
#include <QString>

namespace tx {

inline constexpr qint64 kMaxLinkedPicture = 100LL * 1024 * 1024;

// Throws error 53 (as for a picture file that does not exist) naming `link`,
// the address the document gives, and why, unless `path` is a regular file
// of at most kMaxLinkedPicture bytes whose first bytes are those of a JPEG,
// PNG, GIF, BMP, WebP or SVG picture. Opened without blocking, so a FIFO or a
// device never holds up the import; the one place a linked file is opened.
void checkLinkedPicture(const QString &path, const QString &link);

} // namespace tx
