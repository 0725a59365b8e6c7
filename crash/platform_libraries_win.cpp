#include "crash/platform_libraries_win.h"

#include <array>
#include <string>
#include <vector>

namespace ostrel::callstack {
namespace {

DbgHelpFunctions gDbgHelp;
PsapiFunctions gPsapi;
ToolhelpFunctions gToolhelp;
bool gBound = false;

constexpr const wchar_t* kDbgHelpName = L"dbghelp.dll";
constexpr std::array<const wchar_t*, 3> kDebuggingToolsFolders = {
    L"Debugging Tools for Windows (x64)", L"Debugging Tools for Windows",
    L"Debugging Tools for Windows 64-Bit"};

// Looks a function up by name and stores it in the typed pointer (left null when missing).
template <typename Function>
void Bind(HMODULE module, const char* name, Function& target) {
  if (module == nullptr) return;
  target = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

std::filesystem::path ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return std::filesystem::path(path).parent_path();
    }
    path.resize(path.size() * 2);
  }
}

std::wstring Environment(const wchar_t* name) {
  const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD n = ::GetEnvironmentVariableW(name, value.data(), size);
  value.resize(n < size ? n : 0);
  return value;
}

HMODULE LoadDbgHelp() {
  for (const auto& candidate : DbgHelpCandidates(ProgramFolder(), Environment(L"ProgramFiles"))) {
    if (HMODULE module = ::LoadLibraryW(candidate.c_str())) return module;
  }
  return nullptr;
}

void BindDbgHelp() {
  HMODULE m = gDbgHelp.module = LoadDbgHelp();
  Bind(m, "SymInitialize", gDbgHelp.SymInitialize);
  Bind(m, "SymCleanup", gDbgHelp.SymCleanup);
  Bind(m, "StackWalk64", gDbgHelp.StackWalk64);
  Bind(m, "SymGetOptions", gDbgHelp.SymGetOptions);
  Bind(m, "SymSetOptions", gDbgHelp.SymSetOptions);
  Bind(m, "SymFunctionTableAccess64", gDbgHelp.SymFunctionTableAccess64);
  Bind(m, "SymGetLineFromAddr64", gDbgHelp.SymGetLineFromAddr64);
  Bind(m, "SymGetModuleBase64", gDbgHelp.SymGetModuleBase64);
  Bind(m, "SymGetModuleInfo64", gDbgHelp.SymGetModuleInfo64);
  Bind(m, "SymGetSymFromAddr64", gDbgHelp.SymGetSymFromAddr64);
  Bind(m, "UnDecorateSymbolName", gDbgHelp.UnDecorateSymbolName);
  Bind(m, "SymLoadModule64", gDbgHelp.SymLoadModule64);
  Bind(m, "SymGetSearchPath", gDbgHelp.SymGetSearchPath);
}

void BindPsapi() {
  HMODULE m = gPsapi.module = ::LoadLibraryW(L"psapi.dll");
  Bind(m, "EnumProcessModules", gPsapi.EnumProcessModules);
  Bind(m, "GetModuleFileNameExA", gPsapi.GetModuleFileNameExA);
  Bind(m, "GetModuleBaseNameA", gPsapi.GetModuleBaseNameA);
  Bind(m, "GetModuleInformation", gPsapi.GetModuleInformation);
}

void BindToolhelp() {
  for (const wchar_t* name : {L"kernel32.dll", L"tlhelp32.dll"}) {
    HMODULE m = ::GetModuleHandleW(name);
    if (m == nullptr) m = ::LoadLibraryW(name);
    if (m == nullptr) continue;
    ToolhelpFunctions found;
    Bind(m, "CreateToolhelp32Snapshot", found.CreateToolhelp32Snapshot);
    Bind(m, "Module32First", found.Module32First);
    Bind(m, "Module32Next", found.Module32Next);
    if (found.CreateToolhelp32Snapshot && found.Module32First && found.Module32Next) {
      gToolhelp = found;
      return;
    }
  }
}

}  // namespace

std::vector<std::filesystem::path> DbgHelpCandidates(const std::filesystem::path& programFolder,
                                                     const std::wstring& programFiles) {
  std::vector<std::filesystem::path> candidates;
  if (!programFolder.empty()) candidates.push_back(programFolder / kDbgHelpName);
  if (!programFiles.empty()) {
    for (const wchar_t* folder : kDebuggingToolsFolders) {
      candidates.push_back(std::filesystem::path(programFiles) / folder / kDbgHelpName);
    }
  }
  candidates.emplace_back(kDbgHelpName);
  return candidates;
}

void BindPlatformLibraries() {
  if (gBound) return;
  gBound = true;
  BindDbgHelp();
  BindPsapi();
  BindToolhelp();
}

const DbgHelpFunctions& DbgHelp() {
  return gDbgHelp;
}
const PsapiFunctions& Psapi() {
  return gPsapi;
}
const ToolhelpFunctions& Toolhelp() {
  return gToolhelp;
}

}  // namespace ostrel::callstack
