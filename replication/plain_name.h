// Names from the settings file that become parts of paths.
#pragma once

#include <string>

// True when name can be joined to a folder without leaving it: not empty, not "." or
// "..", without a separator ('/', '\\'), a drive letter's ':' or a root.
bool IsPlainName(const std::string& name);
