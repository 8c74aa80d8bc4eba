#include "core/CodePage.h"

#include <QList>
#include <QtGlobal>
#include <cerrno>
#include <iconv.h>
#include <mutex>

namespace tx::codepage {
namespace {

QString iconvName(const QString &setting)
{
    bool numeric = false;
    const int n = setting.toInt(&numeric);
    if (!numeric)
        return setting.trimmed();
    if (n == 65001)
        return QStringLiteral("UTF-8");
    return QStringLiteral("CP%1").arg(n);
}

bool iconvKnows(const QString &name)
{
    iconv_t cd = iconv_open(name.toLatin1().constData(), "UTF-16LE");
    if (cd == iconv_t(-1))
        return false;
    iconv_close(cd);
    return true;
}

std::mutex g_lock;
QString g_name;

QString current()
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_name.isEmpty()) {
        const QString env = qEnvironmentVariable("TESSARIX_CODEPAGE");
        const QString wanted = env.isEmpty() ? QStringLiteral("CP936") : iconvName(env);
        g_name = iconvKnows(wanted) ? wanted : QStringLiteral("CP936");
    }
    return g_name;
}

bool isAscii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

// One conversion; on a character iconv refuses, `onBad` writes the replacement
// and the input skips `skip` bytes. Done here rather than with //IGNORE or
// //TRANSLIT, whose results differ between iconv builds.
template <typename Out, typename OnBad>
void convert(const char *to, const char *from, const char *in, size_t inLen, Out &out,
             size_t badSkip, OnBad onBad)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return;
    char buf[16384];
    char *src = const_cast<char *>(in);
    size_t left = inLen;
    while (left > 0) {
        char *dst = buf;
        size_t room = sizeof buf;
        const size_t rc = iconv(cd, &src, &left, &dst, &room);
        out.append(buf, dst - buf);
        if (rc == size_t(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: an unconvertible or incomplete sequence.
            onBad(out);
            const size_t skip = qMin(badSkip, left);
            src += skip;
            left -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    char *dst = buf;
    size_t room = sizeof buf;
    iconv(cd, nullptr, nullptr, &dst, &room);
    out.append(buf, dst - buf);
    iconv_close(cd);
}

QByteArray encodeWith(QStringView text, const QString &cp)
{
    if (isAscii(text))
        return text.toLatin1();
    // UTF-32 input, so that one refused character (a pair included) is one "?".
    const QList<uint> ucs4 = text.toUcs4();
    QByteArray out;
    out.reserve(text.size() * 2);
    const QByteArray to = cp.toLatin1();
    convert(to.constData(), "UTF-32LE", reinterpret_cast<const char *>(ucs4.constData()),
            size_t(ucs4.size()) * 4, out, 4, [](QByteArray &o) { o.append('?'); });
    return out;
}

QString decodeWith(QByteArrayView bytes, const QString &cp)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes.data(), bytes.size());
    QByteArray utf16;
    utf16.reserve(bytes.size() * 2);
    const QByteArray from = cp.toLatin1();
    convert("UTF-16LE", from.constData(), bytes.data(), size_t(bytes.size()), utf16, 1,
            [](QByteArray &o) { o.append("\xFD\xFF", 2); });
    return QString(reinterpret_cast<const QChar *>(utf16.constData()), utf16.size() / 2);
}

} // namespace

QString name() { return current(); }

bool select(const QString &codePage)
{
    const QString n = iconvName(codePage);
    if (!iconvKnows(n))
        return false;
    std::lock_guard<std::mutex> guard(g_lock);
    g_name = n;
    return true;
}

QByteArray encode(QStringView text) { return encodeWith(text, current()); }
QString decode(QByteArrayView bytes) { return decodeWith(bytes, current()); }
QByteArray encodeAs(QStringView text, const QString &cp) { return encodeWith(text, iconvName(cp)); }
QString decodeAs(QByteArrayView bytes, const QString &cp) { return decodeWith(bytes, iconvName(cp)); }

} // namespace tx::codepage
