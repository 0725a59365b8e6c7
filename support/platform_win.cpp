#include <windows.h>
// windows.h first: io.h and the rest rely on its definitions.
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "support/path_compare.h"
#include "support/platform.h"
#include "support/temporary_name.h"

namespace fs = std::filesystem;

namespace support {

namespace {

constexpr DWORD kErrorNetworkPathNotFound = 53;  // ERROR_BAD_NETPATH
constexpr DWORD kMaxWriteChunk = 1u << 30;

std::error_code LastError() {
  return std::error_code(static_cast<int>(::GetLastError()), std::system_category());
}

// The error of a failed call; ERROR_WRITE_FAULT when the call left no error code, so that
// a failure is never taken for success.
std::error_code FailedCall() {
  const DWORD code = ::GetLastError();
  return std::error_code(static_cast<int>(code != 0 ? code : ERROR_WRITE_FAULT),
                         std::system_category());
}

bool IsLinkOrJunction(const fs::path& path) {
  WIN32_FIND_DATAW data{};
  HANDLE h = ::FindFirstFileW(path.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::FindClose(h);
  return data.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
         data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT;
}

bool DeleteOneFile(const fs::path& path) {
  if (::DeleteFileW(path.c_str())) return true;
  if (::GetLastError() != ERROR_ACCESS_DENIED) return false;
  // A read-only file is still ours to remove.
  if (!::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL)) return false;
  return ::DeleteFileW(path.c_str()) != 0;
}

void RemoveDirectoryContents(const fs::path& dir, std::error_code& error) {
  WIN32_FIND_DATAW data{};
  HANDLE h = ::FindFirstFileW((dir / L"*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    error = LastError();
    return;
  }
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    RemoveTreeNoFollow(dir / name, error);
  } while (!error && ::FindNextFileW(h, &data));
  ::FindClose(h);
}

bool WriteAll(HANDLE h, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > kMaxWriteChunk ? kMaxWriteChunk : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(h, data, chunk, &written, nullptr)) return false;
    if (written == 0) {  // no progress: an error, never an endless loop
      ::SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

}  // namespace

std::string NarrowPath(const fs::path& path) {
  const std::wstring& w = path.native();
  if (w.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                        nullptr);
  return out;
}

fs::path PathFromNarrow(const std::string& text) {
  if (text.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
  return fs::path(w);
}

bool IsNothingHere(const std::error_code& error) {
  const int v = error.value();
  if (error.category() == std::system_category()) {
    return v == ERROR_FILE_NOT_FOUND || v == ERROR_PATH_NOT_FOUND ||
           v == static_cast<int>(kErrorNetworkPathNotFound) || v == ERROR_INVALID_NAME;
  }
  if (error.category() == std::generic_category())
    return v == ENOENT || v == ENOTDIR || v == ENAMETOOLONG;
  return false;
}

ObjectKind QueryObject(const fs::path& path, std::error_code& error) {
  error.clear();
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const std::error_code e = LastError();
    if (!IsNothingHere(e)) error = e;
    return ObjectKind::kNothing;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkOrJunction(path))
    return ObjectKind::kLink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ObjectKind::kDirectory;
  return ObjectKind::kFile;
}

void RemoveTreeNoFollow(const fs::path& path, std::error_code& error) {
  const ObjectKind kind = QueryObject(path, error);
  if (error || kind == ObjectKind::kNothing) return;
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  const bool isDirectoryEntry =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  if (kind == ObjectKind::kDirectory) {
    RemoveDirectoryContents(path, error);
    if (error) return;
  }
  // A junction or directory link is removed as an empty directory entry, never entered.
  const bool ok = isDirectoryEntry ? ::RemoveDirectoryW(path.c_str()) != 0 : DeleteOneFile(path);
  if (!ok) {
    const std::error_code e = LastError();
    if (!IsNothingHere(e)) error = e;
  }
}

bool IsReadOnly(const fs::path& path, std::error_code& error) {
  error.clear();
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    error = LastError();
    return false;
  }
  return (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

unsigned CurrentProcessId() {
  return static_cast<unsigned>(::GetCurrentProcessId());
}

unsigned CurrentThreadId() {
  return static_cast<unsigned>(::GetCurrentThreadId());
}

bool StdoutIsTerminal() {
  return ::_isatty(::_fileno(stdout)) != 0;
}

bool StderrIsTerminal() {
  return ::_isatty(::_fileno(stderr)) != 0;
}

std::tm LocalTime(std::time_t t) {
  std::tm result{};
  ::localtime_s(&result, &t);
  return result;
}

std::FILE* OpenForAppend(const fs::path& path, std::error_code& error) {
  error.clear();
  std::FILE* f = ::_wfopen(path.c_str(), L"ab");
  if (f == nullptr) error = std::error_code(errno, std::generic_category());
  return f;
}

std::error_code FlushToDisk(std::FILE* file) {
  errno = 0;
  if (std::fflush(file) != 0 || ::_commit(::_fileno(file)) != 0)
    return std::error_code(errno, std::generic_category());
  return {};
}

std::error_code WriteTemporary(const fs::path& target, const void* data, std::size_t size,
                               fs::path& temp) {
  temp = TemporaryPathFor(target);
  ::SetLastError(0);
  HANDLE h = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return FailedCall();
  std::error_code error;
  ::SetLastError(0);
  if (!WriteAll(h, static_cast<const char*>(data), size) || !::FlushFileBuffers(h))
    error = FailedCall();
  ::SetLastError(0);
  if (!::CloseHandle(h) && !error) error = FailedCall();
  if (error) ::DeleteFileW(temp.c_str());
  return error;
}

std::error_code PutInPlace(const fs::path& temp, const fs::path& target) {
  ::SetLastError(0);
  if (::MoveFileExW(temp.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return {};
  const std::error_code error = FailedCall();
  ::DeleteFileW(temp.c_str());
  return error;
}

void SyncDirectory(const fs::path&) {}

bool RenamesNeedDirectorySync() {
  return false;
}

// A directory's link count says nothing of its subdirectories here.
bool CertainlyWithoutSubdirectories(const fs::path&) {
  return false;
}

namespace {

// The locked byte lies at 4 GiB: far past the text, which others may then still read.
constexpr DWORD kLockedByteOffsetHigh = 1;

HANDLE AsHandle(LockHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

LockAttempt TryLockFile(const fs::path& path, LockHandle& handle, std::error_code& error) {
  error.clear();
  handle = kNoLockHandle;
  ::SetLastError(0);
  HANDLE h =
      ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (::GetLastError() == ERROR_SHARING_VIOLATION) return LockAttempt::kBusy;
    error = FailedCall();
    return LockAttempt::kFailed;
  }
  OVERLAPPED where{};
  where.OffsetHigh = kLockedByteOffsetHigh;
  ::SetLastError(0);
  if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) {
    const DWORD code = ::GetLastError();
    ::CloseHandle(h);
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) return LockAttempt::kBusy;
    error = std::error_code(static_cast<int>(code != 0 ? code : ERROR_LOCK_VIOLATION),
                            std::system_category());
    return LockAttempt::kFailed;
  }
  handle = reinterpret_cast<LockHandle>(h);
  return LockAttempt::kTaken;
}

std::error_code WriteLockedFile(LockHandle handle, const std::string& text) {
  HANDLE h = AsHandle(handle);
  LARGE_INTEGER start{};
  ::SetLastError(0);
  if (!::SetFilePointerEx(h, start, nullptr, FILE_BEGIN) ||
      !WriteAll(h, text.data(), text.size()) || !::SetEndOfFile(h))
    return FailedCall();
  return {};
}

void UnlockFile(LockHandle& handle) {
  if (handle == kNoLockHandle) return;
  ::CloseHandle(AsHandle(handle));  // closing the handle releases its locks
  handle = kNoLockHandle;
}

bool IsSameOrInside(const fs::path& inner, const fs::path& outer) {
  return ComponentsStartWith(
      ComparableForm(inner), ComparableForm(outer), [](const fs::path& a, const fs::path& b) {
        const std::wstring& x = a.native();
        const std::wstring& y = b.native();
        return ::CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(),
                                      static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
      });
}

}  // namespace support
