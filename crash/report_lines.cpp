#include "crash/report_lines.h"

#include <array>
#include <cinttypes>
#include <cstdio>

#include "crash/crash_constants.h"

namespace ostrel::crash {
namespace {

constexpr int kAddressDigits = 8;
constexpr int kSectionDigits = 2;

std::string Hex(std::uint64_t value, int minDigits) {
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), "%0*" PRIX64, minDigits, value);
  return text.data();
}

const char* FirstNonEmpty(const std::string& a, const std::string& b, const std::string& c = {}) {
  if (!a.empty()) return a.c_str();
  if (!b.empty()) return b.c_str();
  return c.c_str();
}

}  // namespace

std::string FormatExceptionText(const ExceptionFacts& facts) {
  std::string text = "Exception 0x" + Hex(facts.code, 1) + " occurred at address 0x" +
                     Hex(facts.address, kAddressDigits) + " (" +
                     Hex(facts.section, kSectionDigits) + ":" + Hex(facts.offset, kAddressDigits) +
                     " " + facts.modulePath + ") params:";
  for (std::size_t i = 0; i < facts.parameters.size(); ++i) {
    if (i > 0) text += ",";
    text += " 0x" + Hex(facts.parameters[i], kAddressDigits);
  }
  return text;
}

const char* SymbolTypeText(int type) {
  static constexpr std::array<const char*, 9> kTexts = {
      "-nosymbols-", "COFF", "CV", "PDB", "-exported-", "-deferred-", "SYM", "DIA", "Virtual"};
  if (type < 0 || static_cast<std::size_t>(type) >= kTexts.size()) return "";
  return kTexts[static_cast<std::size_t>(type)];
}

std::string FormatModuleLine(const ModuleFacts& m) {
  std::array<char, kMaxLineLength> line{};
  void* base = reinterpret_cast<void*>(static_cast<std::uintptr_t>(m.base));
  if (m.fileVersion) {
    const std::uint64_t v = *m.fileVersion;
    std::snprintf(line.data(), line.size(),
                  "%s:%s (%p), size: %d, SymType: '%s', PDB: '%s', fileVersion: %d.%d.%d.%d",
                  m.imagePath.c_str(), m.moduleName.c_str(), base, static_cast<int>(m.size),
                  m.symbolType.c_str(), m.symbolFile.c_str(), static_cast<int>((v >> 48) & 0xFFFF),
                  static_cast<int>((v >> 32) & 0xFFFF), static_cast<int>((v >> 16) & 0xFFFF),
                  static_cast<int>(v & 0xFFFF));
  } else {
    std::snprintf(line.data(), line.size(), "%s:%s (%p), size: %d, SymType: '%s', PDB: '%s'",
                  m.imagePath.c_str(), m.moduleName.c_str(), base, static_cast<int>(m.size),
                  m.symbolType.c_str(), m.symbolFile.c_str());
  }
  return line.data();
}

std::string FormatFrameLine(const FrameFacts& f) {
  std::array<char, kMaxLineLength> line{};
  std::snprintf(line.data(), line.size(),
                " [CallStack]  0x%016llx  0x%016llx  [Module=\"%s\"] [Source=\"%s\":%d] [Func=%s]",
                static_cast<unsigned long long>(f.programCounter),
                static_cast<unsigned long long>(f.frameAddress),
                FirstNonEmpty(f.imageName, f.moduleName), f.sourceFile.c_str(),
                static_cast<int>(f.lineNumber),
                FirstNonEmpty(f.fullyUndecorated, f.undecoratedName, f.name));
  return line.data();
}

std::string FormatDbgHelpError(const char* function, int errorCode, std::uint64_t address) {
  std::array<char, kMaxLineLength> line{};
  std::snprintf(line.data(), line.size(), "ERROR: %s, GetLastError: %d (Address: %p)", function,
                errorCode, reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)));
  return line.data();
}

}  // namespace ostrel::crash
