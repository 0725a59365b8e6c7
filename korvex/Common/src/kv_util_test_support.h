// Support of the logging core's unit tests: the library state made once for the test
// program (as the DLL's attach would) and threads that leave their logs at the end.
// Folders and files come from the host tests' helpers (korvex_host.h).
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "korvex_host.h"
#include "kv_util.h"
#include "kv_util_state.h"

namespace kv::test {

using korvex_host::host_folder;
using korvex_host::read_file;
using korvex_host::TempFolder;
using korvex_host::write_file;

inline void ensure_library() {
  static const bool attached = library_attach(GetModuleHandleA(nullptr));
  ASSERT_TRUE(attached);
}

// Runs fn on a new thread that leaves its logs at the end, as a thread detach would.
template <class Fn>
void on_thread(Fn fn) {
  std::thread t([&] {
    fn();
    detach_thread();
  });
  t.join();
}

}  // namespace kv::test
