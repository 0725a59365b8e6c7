// Structured exceptions on basalt threads become C++ exceptions: a fault in this
// module's code on a thread that installed the translator goes through the library's
// seh_translator (dump, report, notification), and the CSEHError it throws is thrown
// again from the faulting frame, so the thread's own catch ends it with its line.
#pragma once

namespace basalt {

// For the calling thread; the process-wide handler is added on first use. Also keeps
// stack in reserve for a stack overflow.
void install_translator();
// Removes the process-wide handler (when the module that holds it is unloaded).
void remove_translator();

}  // namespace basalt
