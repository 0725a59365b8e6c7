#include "support/path_compare.h"

#include <system_error>

namespace fs = std::filesystem;

namespace support {

fs::path ComparableForm(const fs::path& path) {
  std::error_code error;
  fs::path result = fs::weakly_canonical(path, error);
  if (error) {
    result = fs::absolute(path, error);
    if (error) result = path;
  }
  result = result.lexically_normal();
  // "a/b/" and "a/b" name the same folder.
  if (!result.has_filename() && result.has_relative_path()) result = result.parent_path();
  return result;
}

bool ComponentsStartWith(const fs::path& inner, const fs::path& outer,
                         bool (*equal)(const fs::path&, const fs::path&)) {
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
    if (i == inner.end() || !equal(*i, *o)) return false;
  }
  return true;
}

}  // namespace support
