#pragma once
// The split of an upload URL into host, port and path.
#include <QString>

namespace tx {

struct UploadUrl {
    bool secure = false; // https
    QString host;
    QString port; // decimal text, "80" (https: "443") when none or 0
    QString path; // from the first "/" after the host; "/" when none
};

// "http://" and "https://" (any letter case) are accepted: 0x80040000 "错误的URL"
// for any other scheme,
// and also for a control character anywhere or a space in the host (a space in
// the path is sent as %20);
// a port that is not a number is error 13, one beyond 32 bits error 6, one beyond
// the TCP range error 5.
UploadUrl parseUploadUrl(const QString &url);

} // namespace tx
