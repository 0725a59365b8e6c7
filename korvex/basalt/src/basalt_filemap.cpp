#include <cstdio>
#include <cstring>

#include "basalt_file.h"
#include "basalt_raise.h"

namespace basalt {
namespace {

constexpr int kDwordBits = 32;
// Room for an operation name, a full path and a size.
constexpr std::size_t kErrorTextSize = 1024;

[[noreturn]] void raise_map_error(const char* step, const char* file, const std::size_t* size,
                                  int line) {
  char text[kErrorTextSize];
  if (size == nullptr) {
    std::snprintf(text, sizeof text, "basalt::FileMapSimple::map %s:file<%s>", step, file);
  } else {
    std::snprintf(text, sizeof text, "basalt::FileMapSimple::map %s:file<%s>size<%llu>", step, file,
                  static_cast<unsigned long long>(*size));
  }
  raise_text(text, line);
}

}  // namespace

FileMapSimple::~FileMapSimple() {
  unmap();
}

void* FileMapSimple::map(const char* file_name, std::size_t size) {
  unmap();
  const char* name = file_name != nullptr ? file_name : "";
  file_ = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) raise_map_error("CreateFile", name, nullptr, __LINE__);

  LARGE_INTEGER old_size{};
  if (!GetFileSizeEx(file_, &old_size)) old_size.QuadPart = -1;

  const unsigned long long wanted = size;
  if (size == 0) {
    unmap();
    raise_map_error("CreateFileMapping", name, &size, __LINE__);
  }
  mapping_ =
      CreateFileMappingA(file_, nullptr, PAGE_READWRITE, static_cast<DWORD>(wanted >> kDwordBits),
                         static_cast<DWORD>(wanted), nullptr);
  if (mapping_ == nullptr) {
    unmap();
    raise_map_error("CreateFileMapping", name, &size, __LINE__);
  }
  view_ = MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 0);
  if (view_ == nullptr) {
    unmap();
    raise_map_error("MapViewOfFile", name, &size, __LINE__);
  }
  size_ = size;
  if (static_cast<long long>(wanted) != old_size.QuadPart) std::memset(view_, 0, size_);
  return view_;
}

void FileMapSimple::unmap() {
  if (view_ != nullptr) UnmapViewOfFile(view_);
  if (mapping_ != nullptr) CloseHandle(mapping_);
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  view_ = nullptr;
  mapping_ = nullptr;
  file_ = INVALID_HANDLE_VALUE;
  size_ = 0;
}

}  // namespace basalt
