#pragma once
// Small bridges between Qt and UNO types, for the worker's code.
#include <QString>
#include <QUrl>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <rtl/ustring.hxx>
#include <initializer_list>
#include <iterator>
#include <utility>

namespace tx::office::lo {

inline rtl::OUString ou(const QString &s)
{
    return rtl::OUString(reinterpret_cast<const sal_Unicode *>(s.utf16()), sal_Int32(s.size()));
}

inline QString qs(const rtl::OUString &s)
{
    return QString(reinterpret_cast<const QChar *>(s.getStr()), s.getLength());
}

inline rtl::OUString fileUrl(const QString &path)
{
    return ou(QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded()));
}

// Property values from (name, value) pairs of any container.
template <class Pairs> css::uno::Sequence<css::beans::PropertyValue> propsOf(const Pairs &list)
{
    css::uno::Sequence<css::beans::PropertyValue> seq(sal_Int32(std::size(list)));
    auto *out = seq.getArray();
    for (const auto &[name, value] : list) {
        out->Name = rtl::OUString::createFromAscii(name);
        out->Value = value;
        ++out;
    }
    return seq;
}

inline css::uno::Sequence<css::beans::PropertyValue>
props(std::initializer_list<std::pair<const char *, css::uno::Any>> list)
{
    return propsOf(list);
}

} // namespace tx::office::lo
