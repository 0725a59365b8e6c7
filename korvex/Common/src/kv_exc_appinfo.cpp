// The application info: one process-wide text that hosts add to, handed out as a copy
// per reading thread so that a later append can't free or move what a reader holds.
#include <string>

#include "kv_exc.h"
#include "kvexc.h"

namespace kv {
namespace {

class AppInfo {
 public:
  AppInfo() { InitializeCriticalSection(&lock_); }
  ~AppInfo() { DeleteCriticalSection(&lock_); }
  AppInfo(const AppInfo&) = delete;
  AppInfo& operator=(const AppInfo&) = delete;

  void append(const char* piece) {
    EnterCriticalSection(&lock_);
    try {
      text_ += piece ? piece : "";
      text_ += '\n';
    } catch (...) {
    }
    LeaveCriticalSection(&lock_);
  }

  void copy_to(std::string& out) {
    EnterCriticalSection(&lock_);
    try {
      out = text_;
    } catch (...) {
      out.clear();
    }
    LeaveCriticalSection(&lock_);
  }

 private:
  CRITICAL_SECTION lock_;
  std::string text_;
};

AppInfo g_app_info;
thread_local std::string t_copy;

}  // namespace

const char* app_info_copy() {
  g_app_info.copy_to(t_copy);
  return t_copy.c_str();
}

}  // namespace kv

extern "C" void __cdecl appendappinfo(const char* text) {
  kv::g_app_info.append(text);
}

extern "C" const char* __cdecl getappinfo(void) {
  return kv::app_info_copy();
}
