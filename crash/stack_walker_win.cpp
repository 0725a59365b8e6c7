#include "crash/stack_walker_win.h"

#include <array>
#include <vector>

#include "crash/crash_constants.h"
#include "crash/platform_libraries_win.h"

namespace ostrel::callstack {
namespace {

constexpr DWORD kSymbolOptionsAdded = SYMOPT_LOAD_LINES | SYMOPT_FAIL_CRITICAL_ERRORS;
constexpr DWORD kNameOnly = 0x1000;  // UNDNAME_NAME_ONLY
constexpr DWORD kCompleteName = 0;   // UNDNAME_COMPLETE
constexpr DWORD kMachineAmd64 = IMAGE_FILE_MACHINE_AMD64;
constexpr DWORD kMaxModuleHandles = 4096;
constexpr int kVersionShift = 32;

BOOL CALLBACK ReadMemory(HANDLE process, DWORD64 address, PVOID buffer, DWORD size,
                         LPDWORD bytesRead) {
  SIZE_T read = 0;
  const BOOL ok =
      ::ReadProcessMemory(process, reinterpret_cast<LPCVOID>(address), buffer, size, &read);
  *bytesRead = static_cast<DWORD>(read);
  return ok;
}

// Symbol record with room for a name of kMaxNameLength characters after it.
struct SymbolBuffer {
  IMAGEHLP_SYMBOL64 symbol;
  char room[crash::kMaxNameLength];
};

}  // namespace

StackWalker::StackWalker(int options, DWORD processId, HANDLE process)
    : output_(std::make_shared<Output>()),
      options_(options),
      maxRecursionCount_(crash::kMaxRecursionCount),
      process_(process),
      processId_(processId) {}

StackWalker::~StackWalker() {
  if (symbolsInitialised_ && DbgHelp().SymCleanup) DbgHelp().SymCleanup(process_);
}

void StackWalker::onLoadModule(const char* imagePath, const char* moduleName, DWORD64 base,
                               DWORD size, DWORD /*loadResult*/, const char* symbolType,
                               const char* symbolFile, std::optional<ULONGLONG> fileVersion) {
  crash::ModuleFacts facts{imagePath, moduleName, base, size, symbolType, symbolFile, fileVersion};
  output_->moduleEntry(crash::FormatModuleLine(facts).c_str());
}

void StackWalker::onCallStackEntry(CallstackEntryType kind, const CallstackEntry& entry) {
  if (kind == CallstackEntryType::kLast || entry.programCounter == 0) return;
  output_->callStackEntry(crash::FormatFrameLine(entry).c_str());
}

void StackWalker::onDbgHelpError(const char* function, DWORD errorCode, DWORD64 address) {
  output_->writeLine(
      crash::FormatDbgHelpError(function, static_cast<int>(errorCode), address).c_str());
}

bool StackWalker::initialise() {
  const DbgHelpFunctions& api = DbgHelp();
  if (api.module == nullptr) {
    onDbgHelpError("Error while initializing dbghelp.dll", 0, 0);
    ::SetLastError(crash::kDllInitFailed);
    return false;
  }
  if (api.SymInitialize) {
    symbolsInitialised_ = api.SymInitialize(process_, nullptr, FALSE) != FALSE;
    if (!symbolsInitialised_) onDbgHelpError("SymInitialize", ::GetLastError(), 0);
  }
  if (api.SymGetOptions && api.SymSetOptions) {
    api.SymSetOptions(api.SymGetOptions() | kSymbolOptionsAdded);
  }
  output_->moduleListBegin();
  loadModules();
  output_->moduleListEnd();
  initialised_ = modulesListed_ > 0;
  return initialised_;
}

void StackWalker::loadModules() {
  if (!listWithToolhelp()) listWithPsapi();
}

bool StackWalker::listWithToolhelp() {
  const ToolhelpFunctions& th = Toolhelp();
  if (!th.CreateToolhelp32Snapshot) return false;
  HANDLE snapshot = th.CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId_);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  NarrowModuleEntry entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = th.Module32First(snapshot, &entry); more;
       more = th.Module32Next(snapshot, &entry)) {
    loadModule(entry.szExePath, entry.szModule, reinterpret_cast<DWORD64>(entry.modBaseAddr),
               entry.modBaseSize);
    ++count;
  }
  ::CloseHandle(snapshot);
  return count > 0;
}

bool StackWalker::listWithPsapi() {
  const PsapiFunctions& ps = Psapi();
  if (!ps.EnumProcessModules || !ps.GetModuleFileNameExA || !ps.GetModuleBaseNameA ||
      !ps.GetModuleInformation) {
    return false;
  }
  std::vector<HMODULE> modules(kMaxModuleHandles);
  DWORD needed = 0;
  if (!ps.EnumProcessModules(process_, modules.data(),
                             static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed)) {
    onDbgHelpError("EnumProcessModules", ::GetLastError(), 0);
    return false;
  }
  const std::size_t count = std::min<std::size_t>(needed / sizeof(HMODULE), modules.size());
  for (std::size_t i = 0; i < count; ++i) {
    MODULEINFO info{};
    ps.GetModuleInformation(process_, modules[i], &info, sizeof info);
    std::array<char, crash::kMaxNameLength> image{};
    std::array<char, crash::kMaxNameLength> name{};
    ps.GetModuleFileNameExA(process_, modules[i], image.data(), static_cast<DWORD>(image.size()));
    ps.GetModuleBaseNameA(process_, modules[i], name.data(), static_cast<DWORD>(name.size()));
    loadModule(image.data(), name.data(), reinterpret_cast<DWORD64>(info.lpBaseOfDll),
               info.SizeOfImage);
  }
  return count > 0;
}

void StackWalker::loadModule(const char* imagePath, const char* moduleName, DWORD64 base,
                             DWORD size) {
  const DbgHelpFunctions& api = DbgHelp();
  DWORD loadResult = 0;
  if (api.SymLoadModule64 &&
      api.SymLoadModule64(process_, nullptr, imagePath, moduleName, base, size) == 0) {
    loadResult = ::GetLastError();
  }
  std::optional<ULONGLONG> version;
  if ((options_ & crash::kWalkFileVersion) != 0) version = fileVersion(imagePath);
  IMAGEHLP_MODULE64 info{};
  info.SizeOfStruct = sizeof info;
  const char* typeText = "-unknown-";
  const char* symbolFile = "";
  if (api.SymGetModuleInfo64 && api.SymGetModuleInfo64(process_, base, &info)) {
    typeText = crash::SymbolTypeText(static_cast<int>(info.SymType));
    symbolFile = info.LoadedPdbName;
  }
  onLoadModule(imagePath, moduleName, base, size, loadResult, typeText, symbolFile, version);
  ++modulesListed_;
}

std::optional<ULONGLONG> StackWalker::fileVersion(const char* imagePath) const {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(imagePath, &ignored);
  if (size == 0) return std::nullopt;
  std::vector<char> data(size);
  if (!::GetFileVersionInfoA(imagePath, 0, size, data.data())) return std::nullopt;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) ||
      info == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
    return std::nullopt;
  }
  return (static_cast<ULONGLONG>(info->dwFileVersionMS) << kVersionShift) | info->dwFileVersionLS;
}

void StackWalker::fillEntry(DWORD64 pc, CallstackEntry& entry) {
  const DbgHelpFunctions& api = DbgHelp();
  if (api.SymGetSymFromAddr64) {
    SymbolBuffer buffer{};
    buffer.symbol.SizeOfStruct = sizeof(IMAGEHLP_SYMBOL64);
    buffer.symbol.MaxNameLength = crash::kMaxNameLength;
    DWORD64 displacement = 0;
    if (api.SymGetSymFromAddr64(process_, pc, &displacement, &buffer.symbol)) {
      entry.name = buffer.symbol.Name;
      std::array<char, crash::kMaxNameLength> text{};
      if (api.UnDecorateSymbolName) {
        if (api.UnDecorateSymbolName(buffer.symbol.Name, text.data(),
                                     static_cast<DWORD>(text.size()), kNameOnly)) {
          entry.undecoratedName = text.data();
        }
        if (api.UnDecorateSymbolName(buffer.symbol.Name, text.data(),
                                     static_cast<DWORD>(text.size()), kCompleteName)) {
          entry.fullyUndecorated = text.data();
        }
      }
    } else {
      onDbgHelpError("SymGetSymFromAddr64", ::GetLastError(), pc);
    }
  }
  if (api.SymGetLineFromAddr64) {
    IMAGEHLP_LINE64 line{};
    line.SizeOfStruct = sizeof line;
    DWORD displacement = 0;
    if (api.SymGetLineFromAddr64(process_, pc, &displacement, &line)) {
      entry.lineNumber = line.LineNumber;
      entry.sourceFile = line.FileName != nullptr ? line.FileName : "";
    } else {
      onDbgHelpError("SymGetLineFromAddr64", ::GetLastError(), pc);
    }
  }
  if (api.SymGetModuleInfo64) {
    IMAGEHLP_MODULE64 module{};
    module.SizeOfStruct = sizeof module;
    if (api.SymGetModuleInfo64(process_, pc, &module)) {
      entry.moduleName = module.ModuleName;
      entry.imageName = module.LoadedImageName;
      entry.symbolType = module.SymType;
    } else {
      onDbgHelpError("SymGetModuleInfo64", ::GetLastError(), pc);
    }
  }
}

bool StackWalker::showCallstack(HANDLE thread, const CONTEXT* given) {
  if (!initialised_ && !initialise()) return false;
  CONTEXT context{};
  bool suspended = false;
  if (given != nullptr) {
    context = *given;
  } else if (::GetThreadId(thread) != ::GetCurrentThreadId()) {
    suspended = ::SuspendThread(thread) != static_cast<DWORD>(-1);
    context.ContextFlags = CONTEXT_FULL;
    if (!suspended || !::GetThreadContext(thread, &context)) {
      if (suspended) ::ResumeThread(thread);
      return false;
    }
  } else {
    ::RtlCaptureContext(&context);
  }
  walk(thread, context);
  if (suspended) ::ResumeThread(thread);
  return true;
}

void StackWalker::walk(HANDLE thread, CONTEXT& context) {
  const DbgHelpFunctions& api = DbgHelp();
  output_->callStackBegin();
  STACKFRAME64 frame{};
  frame.AddrPC = {context.Rip, 0, AddrModeFlat};
  frame.AddrStack = {context.Rsp, 0, AddrModeFlat};
  frame.AddrFrame = {context.Rbp, 0, AddrModeFlat};
  CallstackEntry entry;
  int repeats = 0;
  for (std::size_t n = 0;; ++n) {
    if (n >= crash::kMaxFrames) {
      onDbgHelpError(crash::kTooManyFrames, 0, frame.AddrPC.Offset);
      break;
    }
    if (!api.StackWalk64 ||
        !api.StackWalk64(kMachineAmd64, process_, thread, &frame, &context, ReadMemory,
                         api.SymFunctionTableAccess64, api.SymGetModuleBase64, nullptr)) {
      onDbgHelpError("StackWalk64", ::GetLastError(), frame.AddrPC.Offset);
      break;
    }
    repeats = frame.AddrPC.Offset == frame.AddrReturn.Offset ? repeats + 1 : 0;
    if (repeats > maxRecursionCount_) {
      onDbgHelpError(crash::kEndlessCallStack, ::GetLastError(), frame.AddrPC.Offset);
      break;
    }
    entry = CallstackEntry{};
    entry.programCounter = frame.AddrPC.Offset;
    entry.frameAddress = frame.AddrFrame.Offset;
    if (entry.programCounter != 0) fillEntry(entry.programCounter, entry);
    onCallStackEntry(n == 0 ? CallstackEntryType::kFirst : CallstackEntryType::kNext, entry);
    if (frame.AddrReturn.Offset == 0) {
      onCallStackEntry(CallstackEntryType::kLast, entry);
      ::SetLastError(0);
      output_->callStackEnd();
      return;
    }
  }
  output_->callStackEnd();
  onCallStackEntry(CallstackEntryType::kLast, entry);
}

}  // namespace ostrel::callstack
