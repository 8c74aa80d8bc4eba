#pragma once
// A 128-bit interface or class identifier and its registry text form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper case).
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

namespace tx::com {

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    friend bool operator==(const Guid &, const Guid &) = default;

    // Registry text form, upper case, 38 characters.
    QString toString() const;
    // Accepts the registry form in either letter case; nullopt for anything else.
    static std::optional<Guid> fromString(QStringView text);
    bool isNull() const { return *this == Guid{}; }
};

// Builds a Guid from the 36-character form "XXXXXXXX-XXXX-…" through
// read(position, digits), which yields the hexadecimal value found there.
template <typename Read>
constexpr Guid assembleGuid(Read read)
{
    Guid g;
    g.data1 = uint32_t(read(0, 8));
    g.data2 = uint16_t(read(9, 4));
    g.data3 = uint16_t(read(14, 4));
    g.data4[0] = uint8_t(read(19, 2));
    g.data4[1] = uint8_t(read(21, 2));
    for (int i = 0; i < 6; ++i)
        g.data4[size_t(2 + i)] = uint8_t(read(24 + 2 * i, 2));
    return g;
}

// Compile-time literal: "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" without braces.
consteval Guid guid(const char (&s)[37])
{
    auto hex = [](char c) -> uint32_t {
        if (c >= '0' && c <= '9') return uint32_t(c - '0');
        if (c >= 'A' && c <= 'F') return uint32_t(c - 'A' + 10);
        if (c >= 'a' && c <= 'f') return uint32_t(c - 'a' + 10);
        throw "bad hex digit";
    };
    auto read = [&](int from, int digits) {
        uint32_t v = 0;
        for (int i = 0; i < digits; ++i)
            v = (v << 4) | hex(s[from + i]);
        return v;
    };
    if (s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-')
        throw "bad guid layout";
    return assembleGuid(read);
}

// The platform's standard interfaces.
inline constexpr Guid IID_IUnknown = guid("00000000-0000-0000-C000-000000000046");
inline constexpr Guid IID_IClassFactory = guid("00000001-0000-0000-C000-000000000046");
inline constexpr Guid IID_IDispatch = guid("00020400-0000-0000-C000-000000000046");
inline constexpr Guid IID_IDispatchEx = guid("A6EF9860-C720-11D0-9337-00A0C90DCAA9");
inline constexpr Guid IID_IPersistStorage = guid("0000010A-0000-0000-C000-000000000046");
inline constexpr Guid IID_IPersistStream = guid("00000109-0000-0000-C000-000000000046");
inline constexpr Guid IID_IPersistPropertyBag = guid("37D84F60-42CB-11CE-8135-00AA004BB851");
inline constexpr Guid IID_IObjectSafety = guid("CB5BDC81-93C1-11CF-8F20-00805F2CD064");

// Ours, private to the library and its host: hands out the control's QObject.
inline constexpr Guid IID_IControlObject = guid("92AC8D34-B537-4E6F-B47B-55FE7441F282");

} // namespace tx::com
