// Reports one structured exception and turns it into a thrown std::runtime_error: a dump, the
// exception block, the module list and call stack, then the throw. A new handler is built for
// each exception on the faulting thread and released after it.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>

#include "crash/handler_base.h"

namespace ostrel::se {

class Handler : public HandlerBase {
 public:
  Handler();
  ~Handler() override;

  // The whole sequence; ends by throwing std::runtime_error ("... [code:N]", N being the
  // thread's last OS error at the fault). Returns only for null pointers. Code 1723 gives its
  // one line and the throw; RPC codes (1700 to 1791) are not dumped.
  virtual void handle(EXCEPTION_POINTERS* pointers);
  // Dumps/YYYYMMDD/<full|mini>HHMMSS_mmm.dmp below the current folder, folders created.
  virtual std::filesystem::path dumpPath(int dumpType);
  virtual bool isRpcException(EXCEPTION_POINTERS* pointers);
  virtual bool shouldDump(EXCEPTION_POINTERS* pointers);
  virtual int dumpType();
  // Writes the dump, then one line saying where it went or why there is none.
  virtual void writeDump(EXCEPTION_POINTERS* pointers);
  virtual void writeReport(EXCEPTION_POINTERS* pointers);
  virtual void writeCallStack(const CONTEXT* context);
  virtual void onHandled(EXCEPTION_POINTERS* pointers);

  // The faulting thread, for a report written by another thread: the dump names it, and the
  // thrown error carries its last OS error (else the current thread's, read by handle).
  void setFaultingThread(DWORD threadId, DWORD lastError) {
    faultingThread_ = threadId;
    lastError_ = lastError;
  }

 private:
  DWORD faultingThread_;
  std::optional<DWORD> lastError_;
};

// The handler the program uses: full-memory dumps.
class ExceptionHandler : public Handler {
 public:
  int dumpType() override;
};

// "Exception 0x... occurred at address 0x... (ss:oooooooo module) params: ..."; empty for null.
std::string ExceptionText(EXCEPTION_POINTERS* pointers);

}  // namespace ostrel::se
