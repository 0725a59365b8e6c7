// What the report says about a structured exception: its code, address, parameters and the
// logical address (module path, section counted from 1, offset within the section).
#pragma once

#include <windows.h>

#include "crash/report_lines.h"

namespace ostrel::se {

// Reads the facts of record; the module part stays empty (section and offset 0) when the
// address lies in no module's section.
crash::ExceptionFacts ExceptionFactsOf(const EXCEPTION_RECORD& record);

}  // namespace ostrel::se
