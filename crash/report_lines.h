// The text lines of the crash report, formatted from plain values so that the formats can be
// checked on any platform: the exception text, the module lines and the frame lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrel::crash {

// What the report says about one exception. Section and offset are the logical address of the
// exception address inside its module (section counted from 1; both 0 when none holds it).
struct ExceptionFacts {
  std::uint32_t code = 0;
  std::uint64_t address = 0;
  std::uint32_t section = 0;
  std::uint64_t offset = 0;
  std::string modulePath;
  std::vector<std::uint64_t> parameters;
};

// "Exception 0xC0000005 occurred at address 0x00401000 (01:00000000 C:\x.exe) params: 0x00000001,
// 0x00000000": upper-case hexadecimal, zero-filled to 8 digits (2 for the section).
std::string FormatExceptionText(const ExceptionFacts& facts);

// The text of a symbol type of the debug-help library: "-nosymbols-", "COFF", ... "Virtual" for
// 0 to 8, empty for any other type.
const char* SymbolTypeText(int type);

struct ModuleFacts {
  std::string imagePath;
  std::string moduleName;
  std::uint64_t base = 0;
  std::uint32_t size = 0;
  std::string symbolType;
  std::string symbolFile;
  std::optional<std::uint64_t> fileVersion;  // four 16-bit parts, most significant first
};

// "image:module (base), size: N, SymType: 'T', PDB: 'F'" and, with a version, ", fileVersion:
// a.b.c.d"; at most kMaxLineLength - 1 characters.
std::string FormatModuleLine(const ModuleFacts& module);

struct FrameFacts {
  std::uint64_t programCounter = 0;
  std::uint64_t frameAddress = 0;
  std::string moduleName;
  std::string imageName;
  std::string sourceFile;
  unsigned lineNumber = 0;
  std::string name;              // raw symbol name
  std::string undecoratedName;   // name only
  std::string fullyUndecorated;  // complete declaration
};

// " [CallStack]  0x...  0x...  [Module="..."] [Source="...":N] [Func=...]": the image name, else
// the module name; the fully undecorated name, else the undecorated one, else the raw one.
std::string FormatFrameLine(const FrameFacts& frame);

// "ERROR: name, GetLastError: code (Address: address)".
std::string FormatDbgHelpError(const char* function, int errorCode, std::uint64_t address);

}  // namespace ostrel::crash
