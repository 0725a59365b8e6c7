#include <cstring>

#include "app/min_replicator.h"
#include "support/ini_file.h"

bool FindOption(int argc, const char* const* argv, const char* option, std::string& value) {
  value.clear();
  for (int i = 0; i < argc; ++i) {
    if (argv[i] == nullptr || std::strcmp(argv[i], option) != 0) continue;
    if (i + 1 < argc && argv[i + 1] != nullptr) value = Trim(argv[i + 1]);
    return true;
  }
  return false;
}
