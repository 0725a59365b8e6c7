#include "crash/report_lines.h"

#include <gtest/gtest.h>

#include <string>

#include "crash/crash_constants.h"

namespace ostrel::crash {
namespace {

TEST(ExceptionText, AccessViolationWithModuleAndParameters) {
  ExceptionFacts facts{0xC0000005, 0x401A2B, 1, 0xA2B, "C:\\bin\\Barsync.exe", {1, 0x10}};
  EXPECT_EQ(FormatExceptionText(facts),
            "Exception 0xC0000005 occurred at address 0x00401A2B (01:00000A2B "
            "C:\\bin\\Barsync.exe) params: 0x00000001, 0x00000010");
}

TEST(ExceptionText, WideValuesKeepAllDigitsAndNoParametersEndAtTheColon) {
  ExceptionFacts facts{0x6BB, 0x00007FF612345678ull, 0x1C, 0x123456789ull, "", {}};
  EXPECT_EQ(FormatExceptionText(facts),
            "Exception 0x6BB occurred at address 0x7FF612345678 (1C:123456789 ) params:");
}

TEST(SymbolType, KnownTypesHaveTheirTextsOthersAreEmpty) {
  EXPECT_STREQ(SymbolTypeText(0), "-nosymbols-");
  EXPECT_STREQ(SymbolTypeText(3), "PDB");
  EXPECT_STREQ(SymbolTypeText(4), "-exported-");
  EXPECT_STREQ(SymbolTypeText(8), "Virtual");
  EXPECT_STREQ(SymbolTypeText(9), "");
  EXPECT_STREQ(SymbolTypeText(-1), "");
}

TEST(ModuleLine, VersionPartsAreWrittenMostSignificantFirst) {
  ModuleFacts m{"C:\\w\\x.dll", "x", 0, 4096, "PDB", "x.pdb", 0x000A000200150003ull};
  const std::string line = FormatModuleLine(m);
  EXPECT_EQ(line.substr(0, 14), "C:\\w\\x.dll:x (");
  EXPECT_NE(line.find("), size: 4096, SymType: 'PDB', PDB: 'x.pdb', fileVersion: 10.2.21.3"),
            std::string::npos)
      << line;
  m.fileVersion.reset();
  EXPECT_EQ(FormatModuleLine(m).find("fileVersion"), std::string::npos);
}

TEST(ModuleLine, OverlongPathsAreCutToTheLineLength) {
  ModuleFacts m{std::string(5000, 'p'), "x", 0, 1, "", "", std::nullopt};
  EXPECT_EQ(FormatModuleLine(m).size(), kMaxLineLength - 1);
}

TEST(FrameLine, FallsBackFromImageToModuleAndFromFullNameToRawName) {
  FrameFacts f;
  f.programCounter = 0x140001234;
  f.frameAddress = 0x22FE00;
  f.moduleName = "Barsync";
  f.sourceFile = "run.cpp";
  f.lineNumber = 42;
  f.name = "_Z3Runv";
  EXPECT_EQ(FormatFrameLine(f),
            " [CallStack]  0x0000000140001234  0x000000000022fe00  [Module=\"Barsync\"] "
            "[Source=\"run.cpp\":42] [Func=_Z3Runv]");
  f.imageName = "C:\\Barsync.exe";
  f.undecoratedName = "Run";
  EXPECT_NE(FormatFrameLine(f).find("[Module=\"C:\\Barsync.exe\"]"), std::string::npos);
  EXPECT_NE(FormatFrameLine(f).find("[Func=Run]"), std::string::npos);
  f.fullyUndecorated = "void Run(void)";
  EXPECT_NE(FormatFrameLine(f).find("[Func=void Run(void)]"), std::string::npos);
}

TEST(DbgHelpError, NamesTheFunctionTheErrorAndTheAddress) {
  const std::string line = FormatDbgHelpError("StackWalk64", 487, 0);
  EXPECT_EQ(line.rfind("ERROR: StackWalk64, GetLastError: 487 (Address: ", 0), 0u) << line;
}

}  // namespace
}  // namespace ostrel::crash
