#pragma once
// The status code of an HTTP status line ("HTTP/1.1 200 OK"): three digits after
// "HTTP/…", 100 or more, else 0 (a line that is no status line).
#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <algorithm>

namespace tx::http {

inline int statusCode(QByteArrayView statusLine)
{
    if (!statusLine.startsWith("HTTP/"))
        return 0;
    const QByteArray code = statusLine.toByteArray().split(' ').value(1);
    const bool digits = code.size() == 3 && std::all_of(code.begin(), code.end(), [](char ch) {
        return ch >= '0' && ch <= '9';
    });
    return digits && code[0] != '0' ? code.toInt() : 0;
}

} // namespace tx::http
