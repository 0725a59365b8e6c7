// Daily rotation settings (section "logfile", keys "rotate" = file,generations) and
// the rotation of a log's generations.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "kv_util_state.h"

namespace kv {
namespace {

constexpr char kSection[] = "logfile";
constexpr char kRotateKey[] = "rotate";
constexpr std::size_t kGenerationNameSize = kPathSize + 8;  // the name, '.', up to 999

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Trims blanks, tabs, CRs and LFs from both ends of [begin, end) in place.
void trim(const char*& begin, const char*& end) {
  while (begin < end && is_blank(*begin)) ++begin;
  while (end > begin && is_blank(end[-1])) --end;
}

const char* base_name(const char* begin, const char* end) {
  const char* base = begin;
  for (const char* p = begin; p < end; ++p) {
    if (*p == '\\') base = p + 1;
  }
  return base;
}

// A decimal integer as the C library's "%d" reads it; false without a digit.
bool read_number(const char* begin, const char* end, int& value) {
  std::string_view text(begin, static_cast<std::size_t>(end - begin));
  char digits[32];
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) digits[n++] = text[i++];
  const std::size_t first_digit = n;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9' && n + 1 < sizeof digits) {
    digits[n++] = text[i++];
  }
  if (n == first_digit) return false;
  digits[n] = '\0';
  const long long v = std::strtoll(digits, nullptr, 10);
  value = v > kMaxGenerations ? kMaxGenerations : (v < 0 ? 0 : static_cast<int>(v));
  return true;
}

// Applies one "key=value" entry of the section to the setting when it names this log.
void apply_entry(const char* entry, const char* log_base, RotationSetting& setting) {
  const char* entry_end = entry + std::strlen(entry);
  const char* equals = std::strchr(entry, '=');
  if (!equals) return;
  const char* key = entry;
  const char* key_end = equals;
  trim(key, key_end);
  if (static_cast<std::size_t>(key_end - key) != std::strlen(kRotateKey) ||
      _strnicmp(key, kRotateKey, std::strlen(kRotateKey)) != 0) {
    return;
  }
  const char* value = equals + 1;
  const char* comma = std::find(value, entry_end, ',');
  if (comma == entry_end) return;
  int generations = 0;
  if (!read_number(comma + 1, entry_end, generations)) return;  // no number: ignored
  const char* file = value;
  const char* file_end = comma;
  trim(file, file_end);
  const char* base = base_name(file, file_end);
  const std::size_t log_length = std::strlen(log_base);
  if (static_cast<std::size_t>(file_end - base) < log_length) return;
  if (_strnicmp(base, log_base, log_length) != 0) return;
  setting.rotate_daily = true;
  setting.generations = generations;
}

std::vector<char> read_section(const char* settings_path) {
  std::vector<char> buffer(kSectionStartSize);
  for (;;) {
    const DWORD n = GetPrivateProfileSectionA(kSection, buffer.data(),
                                              static_cast<DWORD>(buffer.size()), settings_path);
    if (n + 2 < buffer.size() || buffer.size() >= kSectionMaxSize) {
      buffer.resize(static_cast<std::size_t>(n) + 2, '\0');
      return buffer;
    }
    buffer.assign(buffer.size() * 2, '\0');
  }
}

bool make_generation_name(char* out, const char* file, int k) {
  const int n = std::snprintf(out, kGenerationNameSize, "%s.%d", file, k);
  return n > 0 && static_cast<std::size_t>(n) < kGenerationNameSize;
}

bool move_replacing(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
}

}  // namespace

int clamp_generations(int generations) {
  if (generations < 0) return 0;
  return generations > kMaxGenerations ? kMaxGenerations : generations;
}

RotationSetting read_rotation_setting(const char* settings_path, const char* log_path) {
  RotationSetting setting;
  if (!settings_path || !settings_path[0]) return setting;
  const std::vector<char> section = read_section(settings_path);
  const char* log_base = base_name(log_path, log_path + std::strlen(log_path));
  for (const char* entry = section.data(); *entry; entry += std::strlen(entry) + 1) {
    apply_entry(entry, log_base, setting);
  }
  return setting;
}

bool rotate_generations(const char* file, int generations) {
  generations = clamp_generations(generations);
  if (generations == 0) return DeleteFileA(file) || GetLastError() == ERROR_FILE_NOT_FOUND;
  char from[kGenerationNameSize];
  char to[kGenerationNameSize];
  for (int k = generations - 1; k >= 1; --k) {
    if (!make_generation_name(from, file, k) || !make_generation_name(to, file, k + 1)) {
      return false;
    }
    if (GetFileAttributesA(from) == INVALID_FILE_ATTRIBUTES) continue;
    if (!move_replacing(from, to)) return false;  // never overwrite a newer generation
  }
  if (!make_generation_name(to, file, 1)) return false;
  if (GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES) return true;
  return move_replacing(file, to);
}

bool rotation_due(const char* file) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(file, GetFileExInfoStandard, &data)) return false;
  // The creation time holds the local wall-clock time of the day the file was started.
  SYSTEMTIME created;
  if (!FileTimeToSystemTime(&data.ftCreationTime, &created)) return false;
  SYSTEMTIME today;
  GetLocalTime(&today);
  return created.wYear != today.wYear || created.wMonth != today.wMonth ||
         created.wDay != today.wDay;
}

}  // namespace kv
