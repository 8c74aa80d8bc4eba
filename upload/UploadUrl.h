#pragma once
// The split of an upload URL into host, port and path.
#include <QString>

namespace tx {

struct UploadUrl {
    QString host;
    QString port; // decimal text, "80" when none or 0
    QString path; // from the first "/" after the host; "/" when none
};

// Only "http://" (any letter case) is accepted: 0x80040000 "错误的URL" otherwise,
// and also for a control character anywhere or a space in the host (a space in
// the path is sent as %20);
// a port that is not a number is error 13, one beyond 32 bits error 6, one beyond
// the TCP range error 5.
UploadUrl parseUploadUrl(const QString &url);

} // namespace tx
