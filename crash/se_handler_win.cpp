#include "crash/se_handler_win.h"

#include <string>

#include "crash/crash_constants.h"
#include "crash/dump_path.h"
#include "crash/dump_writer_win.h"
#include "crash/exception_facts_win.h"
#include "crash/stack_walker_win.h"
#include "support/platform.h"

namespace ostrel::se {
namespace {

std::uint32_t CodeOf(EXCEPTION_POINTERS* pointers) {
  return pointers != nullptr && pointers->ExceptionRecord != nullptr
             ? pointers->ExceptionRecord->ExceptionCode
             : 0;
}

crash::LocalTime Now() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace

std::string ExceptionText(EXCEPTION_POINTERS* pointers) {
  if (pointers == nullptr || pointers->ExceptionRecord == nullptr) return {};
  return crash::FormatExceptionText(ExceptionFactsOf(*pointers->ExceptionRecord));
}

Handler::Handler() : HandlerBase(0), faultingThread_(::GetCurrentThreadId()) {}

Handler::~Handler() = default;

void Handler::handle(EXCEPTION_POINTERS* pointers) {
  if (pointers == nullptr || pointers->ExceptionRecord == nullptr) return;
  const int lastError = static_cast<int>(lastError_.value_or(::GetLastError()));
  if (CodeOf(pointers) == crash::kServerTooBusyCode) {
    const std::string line =
        std::string(crash::kServerTooBusyLine) + std::to_string(crash::kServerTooBusyCode);
    output()->writeLine(line.c_str());
    raise(lastError, ExceptionText(pointers));
  }
  if (shouldDump(pointers)) writeDump(pointers);
  writeReport(pointers);
  writeCallStack(pointers->ContextRecord);
  onHandled(pointers);
  raise(lastError, ExceptionText(pointers));
}

std::filesystem::path Handler::dumpPath(int type) {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::current_path(error);
  return crash::MakeDumpPath(error ? std::filesystem::path() : base, type, Now());
}

bool Handler::isRpcException(EXCEPTION_POINTERS* pointers) {
  const std::uint32_t code = CodeOf(pointers);
  return code >= crash::kFirstRpcCode && code <= crash::kLastRpcCode;
}

bool Handler::shouldDump(EXCEPTION_POINTERS* pointers) {
  return !isRpcException(pointers);
}

int Handler::dumpType() {
  return crash::kNormalDump;
}

void Handler::writeDump(EXCEPTION_POINTERS* pointers) {
  const int type = dumpType();
  const std::filesystem::path path = dumpPath(type);
  const crash::DumpStatus status = WriteProcessDump(type, path, faultingThread_, pointers);
  const std::string line = status == crash::DumpStatus::kWritten
                               ? "Dump written: " + support::NarrowPath(path)
                               : "Dump not written: status " +
                                     std::to_string(static_cast<int>(status)) + " (" +
                                     DumpStatusText(status) + ")";
  output()->writeLine(line.c_str());
}

void Handler::writeReport(EXCEPTION_POINTERS* pointers) {
  output()->exceptionBegin();
  output()->exceptionEntry(ExceptionText(pointers).c_str());
  output()->exceptionEnd();
}

void Handler::writeCallStack(const CONTEXT* context) {
  callstack::StackWalker walker(crash::kAllWalkOptions, ::GetCurrentProcessId(),
                                ::GetCurrentProcess());
  walker.setOutput(output());
  walker.showCallstack(::GetCurrentThread(), context);
}

void Handler::onHandled(EXCEPTION_POINTERS* /*pointers*/) {}

int ExceptionHandler::dumpType() {
  return crash::kFullMemoryDump;
}

}  // namespace ostrel::se
