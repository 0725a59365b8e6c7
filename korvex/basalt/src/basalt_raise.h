// How basalt reports a failed system call.
#pragma once

namespace basalt {

// Raises a CError with the text "<operation>:GetLastError()<n>" for the thread's last OS
// error, at the source position "basalt", line.
[[noreturn]] void raise_last_error(const char* operation, int line);

// Raises a CError with the given text at the source position "basalt", line.
[[noreturn]] void raise_text(const char* text, int line);

}  // namespace basalt
