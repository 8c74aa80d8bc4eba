#pragma once
// The constants of the office object models that the conversions pass, by name.
#include <cstdint>

namespace tx::office {

// Word.Application
inline constexpr int wdAlertsNone = 0;
inline constexpr int wdPrintView = 3;
inline constexpr int wdPropertyPages = 14;
inline constexpr int wdGoToPage = 1;
inline constexpr int wdStory = 6;
inline constexpr int wdExtend = 1;
inline constexpr int wdFormatDocument = 0;
inline constexpr int wdFormatHTML = 8;
inline constexpr int wdFormatXMLDocument = 12;

// PowerPoint.Application
inline constexpr int msoTrue = -1;
inline constexpr int ppSaveAsOpenXMLPresentation = 24;
inline constexpr int ppSaveAsJPG = 17;
inline constexpr int32_t kLangChinesePrc = 2052;

// Excel.Application
inline constexpr int xlHtml = 44;
inline constexpr int xlOpenXMLWorkbook = 51;
inline constexpr int xlNoChange = 1;
inline constexpr int xlLocaleEnglishUs = 1033;

} // namespace tx::office
