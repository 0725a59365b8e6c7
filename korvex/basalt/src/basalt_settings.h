// Access to the library's settings file "varnek.ini" (or another one), read afresh at
// every call through the system's private-profile functions.
#pragma once

#include <string>

#include "basalt_constants.h"

namespace basalt {

// Where a settings file lies: a name holding "\" or "/" is used unchanged; any other
// name is placed in the host program's folder (the executable's path with its file
// name replaced). When the executable's path can't be had, the name itself.
std::string settings_path(const char* name = kSettingsFile);

// An integer value (the system's reader: leading digits, the default when the key or
// the file is missing). It runs inside exception filters, so it throws nothing,
// allocates nothing of its own and asks the loader nothing (the program's path was
// read when the library loaded); a path too long for MAX_PATH gives the default.
int settings_int(const char* section, const char* key, int default_value,
                 const char* file = kSettingsFile) noexcept;

// A text value, however long (up to 1 MiB), or the default.
std::string settings_text(const char* section, const char* key, const char* default_value,
                          const char* file = kSettingsFile);

// Writes a value as text; answers whether the system wrote it.
bool settings_write(const char* section, const char* key, const char* value,
                    const char* file = kSettingsFile);

}  // namespace basalt
