// Resolution of log and settings file names against the host program's folder, and
// creation of the missing folders of a log path.
#include <cstring>

#include "kv_util_state.h"

namespace kv {
namespace {

bool is_separator(char c) {
  return c == '\\' || c == '/';
}

bool copy_bounded(const char* text, char* out) {
  const std::size_t n = std::strlen(text);
  if (n >= kPathSize) {
    out[0] = '\0';
    return false;
  }
  std::memcpy(out, text, n + 1);
  return true;
}

bool join(const char* folder, std::size_t folder_length, const char* name, char* out) {
  const std::size_t n = std::strlen(name);
  if (folder_length + n >= kPathSize) {
    out[0] = '\0';
    return false;
  }
  std::memcpy(out, folder, folder_length);
  std::memcpy(out + folder_length, name, n + 1);
  return true;
}

// Length of the folder part of a path, up to and including its last backslash.
std::size_t folder_length(const char* path) {
  const char* last = std::strrchr(path, '\\');
  return last ? static_cast<std::size_t>(last - path) + 1 : 0;
}

// Goes up one folder: "C:\srv\bin\" (length) becomes "C:\srv\", never above the root.
std::size_t parent_length(const char* folder, std::size_t length, std::size_t root) {
  if (length <= root) return length;
  std::size_t i = length - 1;  // the trailing backslash
  while (i > root && folder[i - 1] != '\\') --i;
  return i < root ? root : i;
}

bool is_directory(const char* path) {
  const DWORD a = GetFileAttributesA(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::size_t root_length(const char* path) {
  if (path[0] == '\\' && path[1] == '\\') {
    // \\server\share\ : both names belong to the root.
    const char* server_end = std::strchr(path + 2, '\\');
    if (!server_end) return std::strlen(path);
    const char* share_end = std::strchr(server_end + 1, '\\');
    return share_end ? static_cast<std::size_t>(share_end - path) + 1 : std::strlen(path);
  }
  if (path[0] && path[1] == ':') return path[2] == '\\' ? 3 : 2;
  return path[0] ? 1 : 0;
}

bool resolve_path(const char* name, char* out) {
  out[0] = '\0';
  if (!name || !name[0]) return true;
  if (name[1] == ':' || (name[0] == '\\' && name[1] == '\\')) return copy_bounded(name, out);
  const char* host = host_program_path();
  const std::size_t folder = folder_length(host);
  if (folder == 0) return copy_bounded(name, out);
  std::size_t dots = 0;
  while (name[dots] == '.') ++dots;
  // A plain name, or dots not followed by a backslash (".hidden.log"): inside the folder.
  if (dots == 0 || !is_separator(name[dots])) return join(host, folder, name, out);
  std::size_t length = folder;
  const std::size_t root = root_length(host);
  for (std::size_t up = 1; up < dots; ++up) length = parent_length(host, length, root);
  return join(host, length, name + dots + 1, out);
}

void create_folders(const char* file_path) {
  char path[kPathSize];
  if (!copy_bounded(file_path, path)) return;
  const std::size_t end = folder_length(path);
  for (std::size_t i = root_length(path); i < end; ++i) {
    if (path[i] != '\\') continue;
    path[i] = '\0';
    const bool made = CreateDirectoryA(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS ||
                      is_directory(path);
    path[i] = '\\';
    if (!made) return;
  }
}

}  // namespace kv
