// Shared helpers of the Korvex host test programs: the DLL loaded by name once, its
// exports looked up by exact name, a fresh folder per test, and reading log files.
//
// Usage:
//   auto util_init = korvex_host::proc<decltype(&::util_init)>("util_init");
//   korvex_host::TempFolder dir("share");        // <host folder>\kvtest_<pid>_share\ .
//   util_init(dir.file("a.log").c_str(), nullptr, nullptr, nullptr);
//   auto lines = korvex_host::read_lines(dir.file("a.log"));
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "pclib.h"

namespace korvex_host {

// Korvex.dll from the test program's own folder (the default search order finds it
// there first); loaded once per process and never unloaded.
inline HMODULE library() {
  static HMODULE module = LoadLibraryA("Korvex.dll");
  if (!module) {
    throw std::runtime_error("LoadLibrary(Korvex.dll) failed with error " +
                             std::to_string(GetLastError()));
  }
  return module;
}

// An export by its exact name, as a pointer of type F (decltype(&::util_init)).
// Throws when the name is missing, so the test fails with that name.
template <class F>
F proc(const char* name) {
  FARPROC p = GetProcAddress(library(), name);
  if (!p) throw std::runtime_error(std::string("Korvex.dll does not export ") + name);
  return reinterpret_cast<F>(reinterpret_cast<void*>(p));
}

// The folder of the test program, with its trailing backslash.
inline std::string host_folder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.find_last_of('\\') + 1);
}

inline bool file_exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Deletes a folder and everything in it (best effort).
inline void remove_tree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  RemoveDirectoryA(folder.c_str());
}

// Folders kvtest_<pid>_* of processes that no longer run: left behind by a run that was
// ended, or by a folder whose files were still held open when its test ended. Removed
// once when the test program starts.
inline void remove_stale_folders() {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((host_folder() + "kvtest_*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    const DWORD pid = std::strtoul(found.cFileName + 7, nullptr, 10);
    if (pid == GetCurrentProcessId()) continue;
    HANDLE process = pid ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;
    if (process) {
      const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
      CloseHandle(process);
      if (running) continue;
    }
    remove_tree(host_folder() + found.cFileName);
  } while (FindNextFileA(h, &found));
  FindClose(h);
}
inline const bool stale_folders_removed = (remove_stale_folders(), true);

// A fresh folder in the test program's folder, named kvtest_<pid>_<name>, removed at
// the end of the test. relative() is the name as a host would pass it relative to its
// own folder (".\kvtest_..\"), path() the full path.
class TempFolder {
 public:
  explicit TempFolder(const std::string& name)
      : relative_("kvtest_" + std::to_string(GetCurrentProcessId()) + "_" + name),
        path_(host_folder() + relative_) {
    remove_tree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TempFolder() { remove_tree(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  const std::string& relative() const { return relative_; }
  std::string file(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string relative_;
  std::string path_;
};

// The size of a file (0 if missing).
inline std::size_t file_size(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<std::size_t>(data.nFileSizeLow) |
         static_cast<std::size_t>(static_cast<unsigned long long>(data.nFileSizeHigh) << 32);
}

// The whole content of a file, read while others may hold it open ("" if missing).
inline std::string read_file(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "";
  std::string text;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(h);
  return text;
}

// The lines of a file split at CR-LF (the CR-LF is not part of a line). A text after
// the last CR-LF counts as a line too.
// from: where to start (bytes before it are left out).
inline std::vector<std::string> read_lines(const std::string& path, std::size_t from = 0) {
  const std::string whole = read_file(path);
  const std::string text = from < whole.size() ? whole.substr(from) : std::string();
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// Writes a file with the given content (replacing it).
inline void write_file(const std::string& path, const std::string& content) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("can't write " + path);
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

// Runs fn on a new thread and waits for it (the thread's end detaches it from its logs).
template <class Fn>
void on_own_thread(Fn fn) {
  std::thread t(fn);
  t.join();
}

// Is a file open somewhere without sharing deletion? Korvex opens its logs that way,
// so a file that can be opened for delete is no longer held by the library.
inline bool held_open(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return false;
}

}  // namespace korvex_host
