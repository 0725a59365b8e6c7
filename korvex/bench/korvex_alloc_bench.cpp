// Allocation rate of Korvex.dll's traced allocator against the C library.
//
// Loads Korvex.dll from the program's folder and, in one run, times rounds of
// allocating a batch of blocks of mixed sizes and freeing them again: with malloc/free,
// with _NewMemory/_DeleteMemory while tracing is off, and again after switching
// tracing on in "varnek.ini" beside the program (restored to off at the end). Prints
// allocations (each with its free) per second.
//
// Usage: korvex_alloc_bench [rounds]   (default 200 rounds of 10,000 blocks)
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kvmemory.h"

namespace {

constexpr int kBatch = 10000;
constexpr int kDefaultRounds = 200;
constexpr unsigned kSizes[] = {16, 24, 40, 64, 100, 256, 512, 1024};
constexpr int kSizeCount = sizeof kSizes / sizeof kSizes[0];
constexpr int kWaitForTracingMs = 10000;

std::string program_folder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string s(path, n);
  return s.substr(0, s.find_last_of('\\') + 1);
}

template <class F>
F export_of(HMODULE module, const char* name) {
  FARPROC p = GetProcAddress(module, name);
  if (p == nullptr) {
    std::fprintf(stderr, "Korvex.dll does not export %s\n", name);
    std::exit(2);
  }
  return reinterpret_cast<F>(reinterpret_cast<void*>(p));
}

// Allocations per second of `rounds` rounds of a batch allocated then freed.
template <class Alloc, class Free>
double rate(int rounds, Alloc alloc, Free release) {
  std::vector<void*> blocks(kBatch);
  const auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (int i = 0; i < kBatch; ++i) blocks[i] = alloc(kSizes[i % kSizeCount], i % 16);
    for (int i = 0; i < kBatch; ++i) release(blocks[i]);
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return static_cast<double>(rounds) * kBatch / took.count();
}

// Waits until the memory monitor of this process reports a table in use.
bool wait_for_tracing(const std::string& events_log) {
  const std::string own = "(" + std::to_string(GetCurrentProcessId()) + ":";
  for (int waited = 0; waited < kWaitForTracingMs; waited += 50) {
    FILE* f = std::fopen(events_log.c_str(), "rb");
    if (f != nullptr) {
      char line[4096];
      bool on = false;
      while (std::fgets(line, sizeof line, f) != nullptr) {
        const std::string l = line;
        const std::size_t at = l.find("Memory report:space<");
        if (l.find(own) != std::string::npos && at != std::string::npos) {
          on = l.compare(at + 20, 2, "0>") != 0;
        }
      }
      std::fclose(f);
      if (on) return true;
    }
    Sleep(50);
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : kDefaultRounds;
  const std::string folder = program_folder();
  const std::string ini = folder + "varnek.ini";
  WritePrivateProfileStringA("mem_trace", "enable", "0", ini.c_str());
  WritePrivateProfileStringA("mem_trace", "period", "1", ini.c_str());

  HMODULE korvex = LoadLibraryA("Korvex.dll");
  if (korvex == nullptr) {
    std::fprintf(stderr, "can't load Korvex.dll (error %lu)\n", GetLastError());
    return 2;
  }
  auto new_memory = export_of<decltype(&::_NewMemory)>(korvex, "_NewMemory");
  auto delete_memory = export_of<decltype(&::_DeleteMemory)>(korvex, "_DeleteMemory");

  auto plain_alloc = [](unsigned size, int) { return std::malloc(size); };
  auto plain_free = [](void* p) { std::free(p); };
  auto traced_alloc = [new_memory](unsigned size, int site) {
    return new_memory(size, "bench.cpp", 100 + site, false);
  };
  auto traced_free = [delete_memory](void* p) { delete_memory(&p); };

  rate(rounds / 10 + 1, traced_alloc, traced_free);  // warms up and starts the monitor
  const double plain = rate(rounds, plain_alloc, plain_free);
  const double off = rate(rounds, traced_alloc, traced_free);

  WritePrivateProfileStringA("mem_trace", "enable", "1", ini.c_str());
  const bool tracing = wait_for_tracing(folder + "events.log");
  const double on = rate(rounds, traced_alloc, traced_free);
  WritePrivateProfileStringA("mem_trace", "enable", "0", ini.c_str());

  std::printf("%d rounds of %d blocks (16..1024 bytes), each allocated then freed\n", rounds,
              kBatch);
  std::printf("malloc/free                     %12.0f allocations/s\n", plain);
  std::printf("_NewMemory/_DeleteMemory, off   %12.0f allocations/s  (%.2f x malloc)\n", off,
              off / plain);
  std::printf("_NewMemory/_DeleteMemory, on    %12.0f allocations/s  (%.2f x malloc)%s\n", on,
              on / plain, tracing ? "" : "  [tracing did not switch on]");
  return tracing ? 0 : 1;
}
