#include "crash/signal_report_posix.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "crash/crash_constants.h"
#include "crash/signal_names_posix.h"

namespace ostrel::crash {
namespace {

constexpr int kAddressDigits = 16;
constexpr std::int64_t kNanosecondsPerMillisecond = 1000000;
// A fault this close to the stack pointer is taken for a stack overflow.
constexpr std::uintptr_t kStackOverflowReach = 64 * 1024;

std::uintptr_t Distance(std::uintptr_t a, std::uintptr_t b) {
  return a > b ? a - b : b - a;
}

struct ModuleWalk {
  SignalReport* report;
  const char* programPath;
};

int OnModule(dl_phdr_info* info, std::size_t, void* data) {
  auto* walk = static_cast<ModuleWalk*>(data);
  std::uint64_t end = 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type == PT_LOAD && segment.p_vaddr + segment.p_memsz > end) {
      end = segment.p_vaddr + segment.p_memsz;
    }
  }
  const char* name = info->dlpi_name != nullptr && info->dlpi_name[0] != '\0' ? info->dlpi_name
                                                                              : walk->programPath;
  walk->report->start()
      .text(name)
      .text(" (0x")
      .hex(info->dlpi_addr, kAddressDigits)
      .text("), size: ")
      .decimal(static_cast<std::int64_t>(end));
  walk->report->emit();
  return 0;
}

}  // namespace

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

RawLine& SignalReport::start() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const LocalTime time = CivilTime(now.tv_sec + sinks_.utcOffsetSeconds,
                                   static_cast<int>(now.tv_nsec / kNanosecondsPerMillisecond));
  line_.clear();
  AppendLogHead(line_, time, sinks_.threadId);
  return line_;
}

void SignalReport::emit(bool alsoErrors) {
  line_.end();
  if (alsoErrors && sinks_.errorsFd >= 0) WriteAll(sinks_.errorsFd, line_.data(), line_.size());
  if (sinks_.logFd >= 0) WriteAll(sinks_.logFd, line_.data(), line_.size());
  if (sinks_.echo) WriteAll(STDOUT_FILENO, line_.data(), line_.size());
}

void SignalReport::line(const char* text, bool alsoErrors) {
  start().text(text);
  emit(alsoErrors);
}

void SignalReport::write(int signal, const siginfo_t& info, const void* context) {
  std::uintptr_t pc = 0;
  std::uintptr_t sp = 0;
#if defined(__x86_64__)
  if (context != nullptr) {
    const auto* uc = static_cast<const ucontext_t*>(context);
    pc = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    sp = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
  }
#else
  (void)context;
#endif
  line("No dump written: this platform has no dump service");
  exceptionBlock(signal, info, pc, sp);
  moduleList();
  callStack(pc);
  start()
      .text("Fatal signal ")
      .text(SignalName(signal))
      .text(" (")
      .decimal(signal)
      .text("): the run ends with exit code 1");
  emit(true);
}

void SignalReport::exceptionBlock(int signal, const siginfo_t& info, std::uintptr_t pc,
                                  std::uintptr_t sp) {
  line(kExceptionBegin);
  RawLine& text = start();
  text.text("Signal ").decimal(signal).text(" (").text(SignalName(signal)).text("), code ");
  text.decimal(info.si_code);
  if (const char* codeText = SignalCodeText(signal, info.si_code)) text.text(": ").text(codeText);
  const auto address = reinterpret_cast<std::uintptr_t>(info.si_addr);
  text.text(", fault address 0x").hex(address, kAddressDigits);
  if (pc != 0) {
    text.text(", instruction 0x").hex(pc, kAddressDigits);
    Dl_info where{};
    if (::dladdr(reinterpret_cast<void*>(pc), &where) != 0 && where.dli_fname != nullptr) {
      text.text(" (").text(where.dli_fname).text("+0x");
      text.hex(pc - reinterpret_cast<std::uintptr_t>(where.dli_fbase)).text(")");
    }
  }
  emit();
  if (signal == SIGSEGV && sp != 0 && Distance(address, sp) < kStackOverflowReach) {
    line("The fault address lies next to the stack pointer: a stack overflow");
  }
  line(kExceptionEnd);
}

void SignalReport::moduleList() {
  static char programPath[kMaxLineLength];
  const ssize_t n = ::readlink("/proc/self/exe", programPath, sizeof programPath - 1);
  programPath[n > 0 ? n : 0] = '\0';
  line(kModuleListBegin);
  ModuleWalk walk{this, programPath};
  ::dl_iterate_phdr(OnModule, &walk);
  line(kModuleListEnd);
}

void SignalReport::frameLine(const void* address) {
  RawLine& text = start();
  const auto pc = reinterpret_cast<std::uintptr_t>(address);
  text.text(" [CallStack]  0x").hex(pc, kAddressDigits);
  Dl_info where{};
  if (::dladdr(address, &where) != 0) {
    const auto base = reinterpret_cast<std::uintptr_t>(where.dli_fbase);
    text.text("  [Module=\"").text(where.dli_fname).text("\"+0x").hex(pc - base).text("]");
    if (where.dli_sname != nullptr) {
      const auto symbol = reinterpret_cast<std::uintptr_t>(where.dli_saddr);
      text.text(" [Func=").text(where.dli_sname).text("+0x").hex(pc - symbol).text("]");
    }
  }
  emit();
}

void SignalReport::callStack(std::uintptr_t pc) {
  static void* frames[kMaxFrames];
  const int count = ::backtrace(frames, static_cast<int>(kMaxFrames));
  int first = 0;  // skip the frames of this handler: start at the faulting instruction
  for (int i = 0; i < count; ++i) {
    if (reinterpret_cast<std::uintptr_t>(frames[i]) == pc) {
      first = i;
      break;
    }
  }
  line(kCallStackBegin);
  int repeats = 0;
  bool stopped = false;
  for (int i = first; i < count; ++i) {
    repeats = i > first && frames[i] == frames[i - 1] ? repeats + 1 : 0;
    if (repeats > kMaxRecursionCount) {
      start().text("ERROR: ").text(kEndlessCallStack);
      emit();
      stopped = true;
      break;
    }
    frameLine(frames[i]);
  }
  if (!stopped && static_cast<std::size_t>(count) == kMaxFrames) {
    start().text("ERROR: ").text(kTooManyFrames);
    emit();
  }
  line(kCallStackEnd);
}

}  // namespace ostrel::crash
