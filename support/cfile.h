// A binary file object: every operation takes the object's own lock for its whole
// duration. Opening failures are not reported here: callers ask IsOpen() and report in
// their own words. Other processes may read and write the file while it is open.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace Library {
namespace WinFile {

class CFile {
 public:
  // Opens path with mode plus binary mode; when open and seekToEnd, positions at the end.
  // Modes used: std::ios::in (read), std::ios::out | std::ios::trunc (rewrite),
  // std::ios::out | std::ios::app with seekToEnd (create a new file).
  CFile(const std::filesystem::path& path, std::ios::openmode mode, bool seekToEnd = false);
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;
  // Closes the stream; a failure is logged ("Mutex threw exception while destructing
  // CFile: %s" with the path), never thrown.
  virtual ~CFile();

  bool IsOpen();
  // Writes length bytes; true when the stream reports no failure afterwards. False when
  // the file is not open.
  bool Write(const void* bytes, std::uint32_t length);
  // The file's size from the file system (not from the stream); 0 when not open. Throws
  // std::filesystem::filesystem_error ("file_size", path) when the size cannot be read;
  // a file of 4 GiB or more reports 0xFFFFFFFF, a size no caller accepts.
  std::uint32_t Size();
  // Reads length bytes into destination; true when the stream reports no failure.
  bool Read(void* destination, std::uint32_t length);

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::fstream stream_;
  std::mutex lock_;
};

}  // namespace WinFile
}  // namespace Library
