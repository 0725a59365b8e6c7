// A path in quoted stream form for messages: its narrow text enclosed in double quotes,
// every backslash and double quote preceded by a backslash.
#pragma once

#include <filesystem>
#include <string>

std::string QuotedPath(const std::filesystem::path& path);
