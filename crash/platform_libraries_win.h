// The debug-help, psapi and toolhelp functions, bound by name at start so that the program runs
// without those libraries. BindPlatformLibraries fills the process-wide tables once (the crash
// reporting's installation calls it on the main thread, before any other thread exists); later
// they are only read. A function that could not be found stays null.
#pragma once

#include <windows.h>
// These need the types of windows.h first.
#include <dbghelp.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <filesystem>
#include <string>
#include <vector>

namespace ostrel::callstack {

struct DbgHelpFunctions {
  HMODULE module = nullptr;
  BOOL(WINAPI* SymInitialize)(HANDLE, PCSTR, BOOL) = nullptr;
  BOOL(WINAPI* SymCleanup)(HANDLE) = nullptr;
  BOOL(WINAPI* StackWalk64)
  (DWORD, HANDLE, HANDLE, LPSTACKFRAME64, PVOID, PREAD_PROCESS_MEMORY_ROUTINE64,
   PFUNCTION_TABLE_ACCESS_ROUTINE64, PGET_MODULE_BASE_ROUTINE64,
   PTRANSLATE_ADDRESS_ROUTINE64) = nullptr;
  DWORD(WINAPI* SymGetOptions)() = nullptr;
  DWORD(WINAPI* SymSetOptions)(DWORD) = nullptr;
  PVOID(WINAPI* SymFunctionTableAccess64)(HANDLE, DWORD64) = nullptr;
  BOOL(WINAPI* SymGetLineFromAddr64)(HANDLE, DWORD64, PDWORD, PIMAGEHLP_LINE64) = nullptr;
  DWORD64(WINAPI* SymGetModuleBase64)(HANDLE, DWORD64) = nullptr;
  BOOL(WINAPI* SymGetModuleInfo64)(HANDLE, DWORD64, PIMAGEHLP_MODULE64) = nullptr;
  BOOL(WINAPI* SymGetSymFromAddr64)(HANDLE, DWORD64, PDWORD64, PIMAGEHLP_SYMBOL64) = nullptr;
  DWORD(WINAPI* UnDecorateSymbolName)(PCSTR, PSTR, DWORD, DWORD) = nullptr;
  DWORD64(WINAPI* SymLoadModule64)(HANDLE, HANDLE, PCSTR, PCSTR, DWORD64, DWORD) = nullptr;
  BOOL(WINAPI* SymGetSearchPath)(HANDLE, PSTR, DWORD) = nullptr;
};

struct PsapiFunctions {
  HMODULE module = nullptr;
  BOOL(WINAPI* EnumProcessModules)(HANDLE, HMODULE*, DWORD, LPDWORD) = nullptr;
  DWORD(WINAPI* GetModuleFileNameExA)(HANDLE, HMODULE, LPSTR, DWORD) = nullptr;
  DWORD(WINAPI* GetModuleBaseNameA)(HANDLE, HMODULE, LPSTR, DWORD) = nullptr;
  BOOL(WINAPI* GetModuleInformation)(HANDLE, HMODULE, LPMODULEINFO, DWORD) = nullptr;
};

// The narrow module entry of the toolhelp walk ("Module32First", "Module32Next").
using NarrowModuleEntry = tagMODULEENTRY32;

struct ToolhelpFunctions {
  HANDLE(WINAPI* CreateToolhelp32Snapshot)(DWORD, DWORD) = nullptr;
  BOOL(WINAPI* Module32First)(HANDLE, NarrowModuleEntry*) = nullptr;
  BOOL(WINAPI* Module32Next)(HANDLE, NarrowModuleEntry*) = nullptr;
};

// The places where dbghelp.dll is looked for, in order: the program's folder, three folders of
// the debugging tools below programFiles (skipped when empty), then the system's default search.
std::vector<std::filesystem::path> DbgHelpCandidates(const std::filesystem::path& programFolder,
                                                     const std::wstring& programFiles);

void BindPlatformLibraries();

const DbgHelpFunctions& DbgHelp();
const PsapiFunctions& Psapi();
const ToolhelpFunctions& Toolhelp();

}  // namespace ostrel::callstack
