// The exception report: the thread's report logs, the exception line and the call stack.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "kv_exc.h"
#include "kv_util.h"
#include "kv_util_state.h"

namespace kv {
namespace {

constexpr char kReportTitle[] =
    "************** %s Exception report: "
    "************************************************************";
constexpr std::size_t kParamsSize = 1024;

// Attaches the thread to one report log; when the file can't be had, the thread writes
// to the console slot of that kind instead (standard output or standard error).
void attach_or_console(LogTable table, const char* name) {
  try {
    attach_thread(table, name, nullptr);
  } catch (...) {
  }
  ThreadState* state = thread_state();
  if (!state) return;
  int& own = state->slot[static_cast<int>(table)];
  if (own == kNoSlot) own = kConsoleSlot;
}

// ", 0x%08X" for each parameter, without the first comma.
void format_params(const EXCEPTION_RECORD& record, char* out, std::size_t size) {
  std::size_t length = 0;
  out[0] = '\0';
  const DWORD count = record.NumberParameters < EXCEPTION_MAXIMUM_PARAMETERS
                          ? record.NumberParameters
                          : EXCEPTION_MAXIMUM_PARAMETERS;
  for (DWORD i = 0; i < count && length < size; ++i) {
    const int n = std::snprintf(out + length, size - length, ", 0x%08" PRIXPTR,
                                static_cast<std::uintptr_t>(record.ExceptionInformation[i]));
    if (n < 0) break;
    length += static_cast<std::size_t>(n);
  }
  if (out[0] == ',') std::memmove(out, out + 1, std::strlen(out));
}

void write_exception_line(const EXCEPTION_RECORD& record) {
  const auto address = reinterpret_cast<std::uintptr_t>(record.ExceptionAddress);
  const LogicalAddress where = logical_address(address);
  char params[kParamsSize];
  format_params(record, params, sizeof params);
  write_line(LineKind::internal,
             "Exception 0x%08X occured at address 0x%08" PRIXPTR "\t(%02X:%08" PRIXPTR
             " %s), params: %s",
             static_cast<unsigned>(record.ExceptionCode), address, where.section, where.offset,
             where.module, params);
}

}  // namespace

void write_exception_report(const char* title, const EXCEPTION_POINTERS* pointers) {
  attach_or_console(LogTable::events, kReportEvents);
  attach_or_console(LogTable::errors, kReportErrors);
  set_mark(kReportMark);
  write_line(LineKind::internal, kReportTitle, title);
  if (const EXCEPTION_RECORD* record = exception_record(pointers)) write_exception_line(*record);
  if (const CONTEXT* context = exception_context(pointers)) write_call_stack(*context);
  char rule[kReportRuleLength + 1];
  std::memset(rule, '*', kReportRuleLength);
  rule[kReportRuleLength] = '\0';
  write_line(LineKind::internal, "%s", rule);
}

}  // namespace kv
