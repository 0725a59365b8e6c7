// Pieces shared by both platforms' IsSameOrInside (platform.h).
#pragma once

#include <filesystem>

namespace support {

// Canonical, normalised form of path without a trailing separator; falls back to the
// absolute or the given form when the file system cannot tell.
std::filesystem::path ComparableForm(const std::filesystem::path& path);

// True when the components of outer are the first components of inner, compared by equal.
bool ComponentsStartWith(const std::filesystem::path& inner, const std::filesystem::path& outer,
                         bool (*equal)(const std::filesystem::path&, const std::filesystem::path&));

}  // namespace support
