#include "basalt_settings.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace basalt {
namespace {

// The full path of the host program, or "" when it can't be had.
std::string host_program_path() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::string(buffer.data(), n);
    if (buffer.size() >= kTextMaxSize) return {};
    buffer.resize(buffer.size() * 2);
  }
}

// The program's folder with its trailing separator, read while the library loads, or
// "" when the path can't be had (or does not fit).
struct ProgramFolder {
  char text[MAX_PATH] = "";
  ProgramFolder() {
    const DWORD n = GetModuleFileNameA(nullptr, text, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
      text[0] = '\0';
      return;
    }
    char* slash = nullptr;
    for (char* c = text; *c; ++c)
      if (*c == '\\' || *c == '/') slash = c;
    if (slash) {
      slash[1] = '\0';
    } else {
      text[0] = '\0';
    }
  }
};
const ProgramFolder g_program_folder;

bool has_separator(const char* name) {
  for (const char* c = name; *c; ++c)
    if (*c == '\\' || *c == '/') return true;
  return false;
}

}  // namespace

std::string settings_path(const char* name) {
  const std::string file = name != nullptr ? name : "";
  if (file.find_first_of("\\/") != std::string::npos) return file;
  const std::string program = host_program_path();
  const std::size_t slash = program.find_last_of("\\/");
  if (slash == std::string::npos) return file;
  return program.substr(0, slash + 1) + file;
}

int settings_int(const char* section, const char* key, int default_value,
                 const char* file) noexcept {
  const char* name = file != nullptr ? file : "";
  char path[MAX_PATH];
  const char* folder = has_separator(name) ? "" : g_program_folder.text;
  const int n = std::snprintf(path, sizeof path, "%s%s", folder, name);
  if (n < 0 || n >= static_cast<int>(sizeof path)) return default_value;
  return static_cast<int>(GetPrivateProfileIntA(section, key, default_value, path));
}

std::string settings_text(const char* section, const char* key, const char* default_value,
                          const char* file) {
  const std::string path = settings_path(file);
  std::vector<char> buffer(kTextStartSize);
  for (;;) {
    const DWORD n = GetPrivateProfileStringA(section, key, default_value, buffer.data(),
                                             static_cast<DWORD>(buffer.size()), path.c_str());
    // A value that fills the buffer (n == size - 1) may have been cut: read it again.
    if (n + 1 < buffer.size() || buffer.size() >= kTextMaxSize)
      return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

bool settings_write(const char* section, const char* key, const char* value, const char* file) {
  return WritePrivateProfileStringA(section, key, value, settings_path(file).c_str()) != FALSE;
}

}  // namespace basalt
