#pragma once
// The LibreOffice stand-ins for the three office applications.
#include "LoSession.h"
#include "platform/office/ExcelAutomation.h"
#include "platform/office/PowerPointAutomation.h"
#include "platform/office/WordAutomation.h"

namespace tx::office::lo {

std::unique_ptr<WordApplication> makeWriterWord(LoSession &s);
std::unique_ptr<PowerPointApplication> makeImpressPowerPoint(LoSession &s);
std::unique_ptr<ExcelApplication> makeCalcExcel(LoSession &s);

} // namespace tx::office::lo
