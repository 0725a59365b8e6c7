// The process's progress line on standard error, shown only when standard error is a
// terminal (scripted runs and logs stay as they are). Long actions call these from the
// main thread; the log erases the line before it echoes a line to the terminal.
#pragma once

#include <string_view>

namespace support::progress {

// Starts the line of action (checks the terminal once, here).
void Begin(std::string_view action);
// The number of instruments the action will go through.
void SetTotal(int instruments);
// The export date now worked on.
void SetDate(std::string_view date);
// One more instrument done.
void InstrumentDone();
// Draws the final state and ends the line.
void End();
// Erases the line, if one is drawn, before other output goes to the terminal.
void MakeRoomForConsoleLine();

// Counts one instrument done however the scope is left (a loop body with early exits).
class InstrumentScope {
 public:
  InstrumentScope() = default;
  InstrumentScope(const InstrumentScope&) = delete;
  InstrumentScope& operator=(const InstrumentScope&) = delete;
  ~InstrumentScope() { InstrumentDone(); }
};

}  // namespace support::progress
