#include "crash/exception_facts_win.h"

#include <algorithm>
#include <array>

#include "crash/crash_constants.h"

namespace ostrel::se {
namespace {

// Section (from 1) and offset of address inside the image at base; {0, 0} when none holds it.
void LocateSection(const BYTE* base, std::uint64_t address, crash::ExceptionFacts& facts) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return;
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  const std::uint64_t rva = address - reinterpret_cast<std::uint64_t>(base);
  for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    const std::uint64_t start = section->VirtualAddress;
    const std::uint64_t length =
        std::max<std::uint64_t>(section->Misc.VirtualSize, section->SizeOfRawData);
    if (rva >= start && rva <= start + length) {
      facts.section = i + 1;
      facts.offset = rva - start;
      return;
    }
  }
}

void LocateModule(std::uint64_t address, crash::ExceptionFacts& facts) {
  MEMORY_BASIC_INFORMATION region{};
  if (!::VirtualQuery(reinterpret_cast<LPCVOID>(address), &region, sizeof region)) return;
  auto module = static_cast<HMODULE>(region.AllocationBase);
  if (module == nullptr) return;
  std::array<char, crash::kMaxDumpPath> path{};
  if (!::GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()))) return;
  facts.modulePath = path.data();
  LocateSection(static_cast<const BYTE*>(region.AllocationBase), address, facts);
}

}  // namespace

crash::ExceptionFacts ExceptionFactsOf(const EXCEPTION_RECORD& record) {
  crash::ExceptionFacts facts;
  facts.code = record.ExceptionCode;
  facts.address = reinterpret_cast<std::uint64_t>(record.ExceptionAddress);
  const DWORD count = std::min<DWORD>(record.NumberParameters, EXCEPTION_MAXIMUM_PARAMETERS);
  for (DWORD i = 0; i < count; ++i) facts.parameters.push_back(record.ExceptionInformation[i]);
  LocateModule(facts.address, facts);
  return facts;
}

}  // namespace ostrel::se
