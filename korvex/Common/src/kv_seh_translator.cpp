// seh_translator: a structured exception becomes a CSEHError, after the dump, the
// report and the notification (the RPC busy status gets only a warning line).
#include <cinttypes>
#include <cstdio>

#include "kv_exc.h"
#include "kv_util.h"
#include "kverror.h"
#include "kvexc.h"

namespace kv {
namespace {

constexpr unsigned kLow16Bits = 0xFFFF;

// " 0x%08X" for each parameter, at most kTranslatorParamsMax characters.
void format_parameters(const EXCEPTION_RECORD* record, char* out, std::size_t size) {
  std::size_t length = 0;
  out[0] = '\0';
  if (!record) return;
  const DWORD count = record->NumberParameters < EXCEPTION_MAXIMUM_PARAMETERS
                          ? record->NumberParameters
                          : EXCEPTION_MAXIMUM_PARAMETERS;
  for (DWORD i = 0; i < count && length + 1 < size; ++i) {
    const int n = std::snprintf(out + length, size - length, " 0x%08" PRIXPTR,
                                static_cast<std::uintptr_t>(record->ExceptionInformation[i]));
    if (n < 0) break;
    length += static_cast<std::size_t>(n);
  }
}

void notify(unsigned code) {
  const unsigned number = (convert_error(code) & kLow16Bits) + kTranslatorNumberBit;
  send_vigil_error(module_handle(), static_cast<int>(number), kTranslatorSeverity, 0, 0, 1);
}

}  // namespace
}  // namespace kv

extern "C" void __cdecl seh_translator(unsigned int code, EXCEPTION_POINTERS* pointers) {
  if (code == kv::kRpcServerTooBusy) {
    kv::write_line(kv::LineKind::warning, "RPC error 0x%08X", code);
  } else {
    ExcFilterI(pointers);
    kv::notify(code);
  }
  const EXCEPTION_RECORD* record = kv::exception_record(pointers);
  char parameters[kv::kTranslatorParamsMax + 1];
  kv::format_parameters(record, parameters, sizeof parameters);
  char message[KV_ERROR_MESSAGE_MAX + 1];
  std::snprintf(message, sizeof message,
                "Exception 0x%08X occured at address 0x%08" PRIXPTR ". Parameters:%s.", code,
                record ? reinterpret_cast<std::uintptr_t>(record->ExceptionAddress) : 0,
                parameters);
  throw CSEHError(static_cast<int>(code), message, "", 0);
}
