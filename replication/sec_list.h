// The class and security filter of the [Classes] settings section.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct RunSettings;

// True when sec occurs in list as a whole item (bounded by the start or the end of the
// text, ',' or ' '), searching from position start. An empty sec never matches.
bool IsSecInList(std::string_view list, std::string_view sec, std::size_t start);

// True when the class cls is visited: no [Classes] section, or cls has a key there.
bool ClassSelected(const RunSettings& settings, const std::string& cls);

// True when the security sec of the class cls is visited: no [Classes]
// section, the class's value is "ALL", or sec is an item of the value.
bool SecuritySelected(const RunSettings& settings, const std::string& cls, const std::string& sec);
