#pragma once
// Result codes of the component layer (32-bit, negative = failure).
#include <cstdint>

namespace tx::com {

using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);
inline constexpr HRESULT E_POINTER = HRESULT(0x80004003u);
inline constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = HRESULT(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = HRESULT(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = HRESULT(0x80040111u);
inline constexpr HRESULT SELFREG_E_TYPELIB = HRESULT(0x80040200u);
inline constexpr HRESULT SELFREG_E_CLASS = HRESULT(0x80040201u);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = HRESULT(0x80020001u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = HRESULT(0x80020003u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = HRESULT(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = HRESULT(0x80020006u);
inline constexpr HRESULT DISP_E_EXCEPTION = HRESULT(0x80020009u);
inline constexpr HRESULT DISP_E_OVERFLOW = HRESULT(0x8002000Au);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = HRESULT(0x8002000Eu);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = HRESULT(0x8002000Fu);

constexpr bool succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool failed(HRESULT hr) { return hr < 0; }

// The small runtime error a script engine reports for a failed dispatch call
// (438 for an unknown member, 450 for a wrong argument count, ...); 440 when
// the code has no better meaning.
int32_t runtimeErrorFor(HRESULT hr);

} // namespace tx::com
