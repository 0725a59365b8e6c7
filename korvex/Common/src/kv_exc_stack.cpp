// The call-stack walk from a thread context, its "F" lines, and the exports StackWalk
// and DrawCurrentStack.
//
// 32-bit x86 follows the chain of saved frame pointers. x86-64 code keeps no such
// chain, so there each frame is unwound with the image's unwind tables.
#include <cinttypes>

#include "kv_exc.h"
#include "kv_util.h"
#include "kvexc.h"

namespace kv {
namespace {

constexpr char kStackBegin[] =
    "------------- Call stack (begin) "
    "-------------------------------------------------------------------------------------";
constexpr char kStackHeader[] = "Address\t\tFrame\t\t\tLogical addr\t\tModule";
constexpr char kStackEnd[] =
    "-------------- Call stack (end) "
    "--------------------------------------------------------------------------------------";
constexpr std::uintptr_t kWord = sizeof(std::uintptr_t);

#if defined(__x86_64__)

// One frame up: answers false when the walk can't go on safely.
bool unwind_one(CONTEXT& context) {
  const DWORD64 old_sp = context.Rsp;
  if (!memory_ok(static_cast<std::uintptr_t>(old_sp), kWord, true)) return false;
  DWORD64 image_base = 0;
  PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &image_base, nullptr);
  if (function) {
    void* handler_data = nullptr;
    DWORD64 establisher = 0;
    RtlVirtualUnwind(UNW_FLAG_NHANDLER, image_base, context.Rip, function, &context, &handler_data,
                     &establisher, nullptr);
  } else {
    // A leaf function (or a wild address): the return address is on top of the stack.
    context.Rip = *reinterpret_cast<const DWORD64*>(old_sp);
    context.Rsp = old_sp + kWord;
  }
  return context.Rip != 0 && context.Rsp > old_sp;
}

#else

// Moves to the caller's frame through the saved frame pointer. The frame pointer must
// be a multiple of 4, lie above the old one and point at 8 writable bytes.
bool unwind_one(CONTEXT& context) {
  const std::uintptr_t fp = context.Ebp;
  if (!memory_ok(fp, 2 * kWord, true)) return false;
  const auto* words = reinterpret_cast<const std::uintptr_t*>(fp);
  const std::uintptr_t next_fp = words[0];
  const std::uintptr_t next_pc = words[1];
  if (next_fp % kWord != 0 || next_fp <= fp || !memory_ok(next_fp, 2 * kWord, true)) return false;
  context.Ebp = static_cast<DWORD>(next_fp);
  context.Eip = static_cast<DWORD>(next_pc);
  return true;
}

#endif

void write_frame_line(const Frame& frame, void*) {
  const LogicalAddress where = logical_address(frame.address);
  write_line(LineKind::internal,
             "0x%08" PRIXPTR "\t\t0x%08" PRIXPTR "\t\t%04X:%08" PRIXPTR "\t\t%s", frame.address,
             frame.frame, where.section, where.offset, where.module);
}

}  // namespace

std::uintptr_t context_pc(const CONTEXT& context) {
#if defined(__x86_64__)
  return static_cast<std::uintptr_t>(context.Rip);
#else
  return context.Eip;
#endif
}

std::uintptr_t context_frame(const CONTEXT& context) {
#if defined(__x86_64__)
  return static_cast<std::uintptr_t>(context.Rsp);
#else
  return context.Ebp;
#endif
}

int walk_frames(const CONTEXT& start, FrameVisitor visit, void* data) {
  CONTEXT context = start;
  int count = 0;
  while (count < kMaxFrames) {
    visit(Frame{context_pc(context), context_frame(context)}, data);
    ++count;
    if (!unwind_one(context)) break;
  }
  return count;
}

namespace {

void capture_frame(const Frame& frame, void* data) {
  auto& stack = *static_cast<CapturedStack*>(data);
  if (stack.count >= kMaxFrames) return;
  CapturedFrame& out = stack.frames[stack.count++];
  out.address = frame.address;
  out.frame = frame.frame;
  out.base = region_base(frame.address);
  LogicalAddress where;
  if (out.base != 0) locate_section(out.base, frame.address, where);
  out.section = where.section;
  out.offset = where.offset;
}

}  // namespace

void capture_stack(const CONTEXT& context, CapturedStack& stack) {
  stack.count = 0;
  walk_frames(context, capture_frame, &stack);
}

int write_captured_stack(const CapturedStack& stack) {
  // Each module's path once, under the loader lock when it is free; the lines are
  // written after it is released.
  constexpr int kMostModules = 32;
  std::uintptr_t bases[kMostModules];
  char paths[kMostModules][kPathSize];
  int modules = 0;
  {
    LoaderLockTry loader;
    for (int i = 0; loader.held() && i < stack.count && modules < kMostModules; ++i) {
      const std::uintptr_t base = stack.frames[i].base;
      int m = 0;
      while (m < modules && bases[m] != base) ++m;
      if (m < modules) continue;
      bases[modules] = base;
      module_path_locked(base, paths[modules], kPathSize);
      ++modules;
    }
  }
  write_line(LineKind::internal, "%s", kStackBegin);
  write_line(LineKind::internal, "%s", kStackHeader);
  for (int i = 0; i < stack.count; ++i) {
    const CapturedFrame& f = stack.frames[i];
    int m = 0;
    while (m < modules && bases[m] != f.base) ++m;
    write_line(LineKind::internal,
               "0x%08" PRIXPTR "\t\t0x%08" PRIXPTR "\t\t%04X:%08" PRIXPTR "\t\t%s", f.address,
               f.frame, f.section, f.offset, m < modules ? paths[m] : "");
  }
  write_line(LineKind::internal, "%s", kStackEnd);
  return stack.count;
}

int write_call_stack(const CONTEXT& context) {
  write_line(LineKind::internal, "%s", kStackBegin);
  write_line(LineKind::internal, "%s", kStackHeader);
  const int frames = walk_frames(context, write_frame_line, nullptr);
  write_line(LineKind::internal, "%s", kStackEnd);
  return frames;
}

}  // namespace kv

extern "C" int __cdecl StackWalk(CONTEXT* context) {
  if (!context || !kv::memory_ok(reinterpret_cast<std::uintptr_t>(context), sizeof *context, false))
    return 0;
  kv::LastErrorKeeper keep;
  return kv::write_call_stack(*context);
}

extern "C" __attribute__((noinline)) int __cdecl DrawCurrentStack(void) {
  kv::LastErrorKeeper keep;
  CONTEXT context;
  RtlCaptureContext(&context);
  return kv::write_call_stack(context);
}
