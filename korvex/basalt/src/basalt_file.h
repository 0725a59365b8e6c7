// File primitives of the basalt layer: a whole-file mapping and a retrying opener.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace basalt {

// A read-write view of a whole file of a chosen size. Not copyable; unmaps itself.
class FileMapSimple {
 public:
  FileMapSimple() = default;
  ~FileMapSimple();
  FileMapSimple(const FileMapSimple&) = delete;
  FileMapSimple& operator=(const FileMapSimple&) = delete;

  // Opens or creates the file (shared for reading and writing) and maps size bytes of it
  // for writing, extending the file when it is shorter. When size differs from the
  // file's size before the call, the whole view is filled with zeros (a file of the
  // same size keeps its content). A mapping still held is unmapped first. Answers the
  // view. Raises CError "basalt::FileMapSimple::map CreateFile:file<name>", or
  // "...map CreateFileMapping:file<name>size<n>" / "...map MapViewOfFile:file<name>size<n>"
  // (nothing is left open then).
  void* map(const char* file_name, std::size_t size);

  // Unmaps the view and closes the mapping and the file; harmless when nothing is mapped.
  void unmap();

  void* data() const { return view_; }
  std::size_t size() const { return size_; }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  HANDLE mapping_ = nullptr;
  void* view_ = nullptr;
  std::size_t size_ = 0;
};

// Opens an existing file for reading, trying several times with a pause between tries
// (for files that another program holds for a moment).
class RetryingFileOpener {
 public:
  RetryingFileOpener(std::string file_name, int attempts, unsigned pause_ms);
  virtual ~RetryingFileOpener();
  RetryingFileOpener(const RetryingFileOpener&) = delete;
  RetryingFileOpener& operator=(const RetryingFileOpener&) = delete;

  // Tries up to the number of attempts to open the file (read access, shared for
  // reading, existing file only). After each failure it writes the OS error line
  // "Can't read file <name=...><attempt=n>" (n from 1) and sleeps for the pause; when
  // every attempt failed it writes "Can't read file <name=...>" and answers false with
  // the handle closed. An open handle is closed first.
  virtual bool open();
  // Closes the handle once; harmless when closed.
  virtual void close();

  HANDLE handle() const { return handle_; }
  bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
  const std::string& file_name() const { return file_name_; }

 private:
  std::string file_name_;
  int attempts_;
  unsigned pause_ms_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace basalt
