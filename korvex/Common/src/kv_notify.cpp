// Error notifications: the thread's 51-byte record passed to "SendInfo" of vigilor.dll.
#include <cstdint>
#include <cstring>

#include "kv_exc.h"
#include "kv_util.h"
#include "kvexc.h"

namespace kv {
namespace {

// Offsets of the record's fields (little-endian).
constexpr std::size_t kSeverityAt = 0;
constexpr std::size_t kNumberAt = 4;
constexpr std::size_t kExtra1At = 8;
constexpr std::size_t kExtra2At = 12;
constexpr std::size_t kFlagsAt = 16;
constexpr std::size_t kTextAt = 18;
static_assert(kTextAt + kNoticeTextMax + 1 == kNoticeSize, "the text ends the record");
constexpr unsigned kLowByte = 0xFF;
constexpr unsigned kByteBits = 8;

using SendInfoFn = int(__cdecl*)(void* module, int kind, void* record);

thread_local unsigned char t_notice[kNoticeSize];

void put_le(std::size_t at, std::uint32_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) {
    t_notice[at + i] = static_cast<unsigned char>(value >> (kByteBits * i));
  }
}

void fill_notice(int number, int severity, int extra1, int extra2, int flag, const char* text) {
  put_le(kSeverityAt, static_cast<std::uint16_t>(severity), sizeof(std::uint16_t));
  put_le(kNumberAt, static_cast<std::uint32_t>(number), sizeof(std::int32_t));
  put_le(kExtra1At, static_cast<std::uint32_t>(extra1), sizeof(std::int32_t));
  put_le(kExtra2At, static_cast<std::uint32_t>(extra2), sizeof(std::int32_t));
  const std::uint16_t flags = (static_cast<unsigned>(flag) & kLowByte) != 0 ? 0 : kNoticeFlagPlain;
  put_le(kFlagsAt, flags, sizeof(std::uint16_t));
  std::size_t n = 0;
  while (text && n < kNoticeTextMax && text[n]) ++n;
  if (n > 0) std::memcpy(t_notice + kTextAt, text, n);
  t_notice[kTextAt + n] = '\0';
}

int deliver(void* module, const char* missing_text) {
  const auto send_info = reinterpret_cast<SendInfoFn>(reinterpret_cast<void*>(vigilor_send_info()));
  if (!send_info) return write_line(LineKind::error, "%s", missing_text);
  return send_info(module, kSendInfoMessageKind, t_notice);
}

}  // namespace
}  // namespace kv

extern "C" int __cdecl send_vigil_error(void* module, int number, int severity, int extra1,
                                        int extra2, int flag) {
  kv::fill_notice(number, severity, extra1, extra2, flag, nullptr);
  return kv::deliver(module, "Can't send error notification: VIGIL SendInfo function is missing");
}

extern "C" int __cdecl send_vigil_error_ex(void* module, int number, int severity, int extra1,
                                           int extra2, int flag, const char* text) {
  kv::fill_notice(number, severity, extra1, extra2, flag, text);
  return kv::deliver(module,
                     "Can't send extended error notification: VIGIL SendInfo function is missing");
}

extern "C" int __stdcall SendVigilError(void* module, int number, int severity, int extra1,
                                        int extra2, int flag) {
  return send_vigil_error(module, number, severity, extra1, extra2, flag);
}
