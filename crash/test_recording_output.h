// For the tests: a report output that keeps its lines.
#pragma once

#include <string>
#include <vector>

#include "crash/se_output.h"

namespace ostrel::crash {

class RecordingOutput : public se::Output {
 public:
  void writeLine(const char* line) override { lines.emplace_back(line); }

  // Index of the first line at or after from that contains part, or npos.
  std::size_t find(const std::string& part, std::size_t from = 0) const {
    for (std::size_t i = from; i < lines.size(); ++i) {
      if (lines[i].find(part) != std::string::npos) return i;
    }
    return std::string::npos;
  }

  std::vector<std::string> lines;
};

}  // namespace ostrel::crash
