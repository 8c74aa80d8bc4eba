#pragma once
// The LibreOffice stand-ins for the three office applications.
#include "LoSession.h"
#include "office/ExcelAutomation.h"
#include "office/PowerPointAutomation.h"
#include "office/WordAutomation.h"

namespace tx::office::lo {

std::unique_ptr<WordApplication> makeWriterWord(LoSession &s);
std::unique_ptr<PowerPointApplication> makeImpressPowerPoint(LoSession &s);
std::unique_ptr<ExcelApplication> makeCalcExcel(LoSession &s);

} // namespace tx::office::lo
