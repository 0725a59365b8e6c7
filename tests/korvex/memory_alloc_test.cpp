// The allocator families as a host sees them: big-chunk lines, growth with copying
// and zero-filling, null deletes, reallocation, and the allocation errors.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "korvex_host.h"
#include "kvmemory.h"
#include "stats_host.h"

namespace {

using korvex_host::proc;

struct Allocators {
  decltype(&::_NewMemory) new_memory = proc<decltype(&::_NewMemory)>("_NewMemory");
  decltype(&::_DeleteMemory) delete_memory = proc<decltype(&::_DeleteMemory)>("_DeleteMemory");
  decltype(&::_ReallocMemory) realloc_memory = proc<decltype(&::_ReallocMemory)>("_ReallocMemory");
  decltype(&::_OversizePointer_New) oversize =
      proc<decltype(&::_OversizePointer_New)>("_OversizePointer_New");
  decltype(&::_OversizePointer_New_Smart) oversize_smart =
      proc<decltype(&::_OversizePointer_New_Smart)>("_OversizePointer_New_Smart");
  decltype(&::_StrDupl) str_dupl = proc<decltype(&::_StrDupl)>("_StrDupl");
  decltype(&::memTraceMalloc) trace_malloc = proc<decltype(&::memTraceMalloc)>("memTraceMalloc");
  decltype(&::memTraceRealloc) trace_realloc =
      proc<decltype(&::memTraceRealloc)>("memTraceRealloc");
  decltype(&::memTraceFree) trace_free = proc<decltype(&::memTraceFree)>("memTraceFree");
  decltype(&::_DL_NewMemory) dl_new = proc<decltype(&::_DL_NewMemory)>("_DL_NewMemory");
  decltype(&::_DL_DeleteMemory) dl_delete = proc<decltype(&::_DL_DeleteMemory)>("_DL_DeleteMemory");
  decltype(&::_DL_ReallocMemory) dl_realloc =
      proc<decltype(&::_DL_ReallocMemory)>("_DL_ReallocMemory");
};

const char kSource[] = "C:\\work\\src\\alloc.cpp";

bool all_zero(const void* block, std::size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(block);
  for (std::size_t i = 0; i < size; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

void fill_counting(void* block, std::size_t size) {
  unsigned char* p = static_cast<unsigned char*>(block);
  for (std::size_t i = 0; i < size; ++i) p[i] = static_cast<unsigned char>(i + 1);
}

bool holds_counting(const void* block, std::size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(block);
  for (std::size_t i = 0; i < size; ++i) {
    if (p[i] != static_cast<unsigned char>(i + 1)) return false;
  }
  return true;
}

// The message of an allocation error: raised from "kvmini", naming the caller.
void expect_allocation_error(const COSError& e, const std::string& what) {
  EXPECT_EQ(e.GetErrorCode(), 0);
  EXPECT_STREQ(e.GetFile(), "kvmini");
  EXPECT_GT(e.GetLine(), 0);
  const std::string message = e.GetErrorDesc();
  const std::string head =
      "(kvmini at " + std::to_string(e.GetLine()) + "): " + what + " OS error description is '";
  EXPECT_EQ(message.substr(0, head.size()), head) << message;
  EXPECT_EQ(message.substr(message.size() - 2), "'.") << message;
}

TEST(MemoryAlloc, BigChunkIsLoggedOnlyAboveThreeMillionBytes) {
  Allocators a;
  korvex_host::TempFolder dir("bigchunk");
  auto util_init = proc<decltype(&::util_init)>("util_init");
  util_init(dir.file("events.log").c_str(), dir.file("errors.log").c_str(), "BIG", nullptr);

  void* big = a.new_memory(3000001, kSource, 77, false);
  void* edge = a.new_memory(3000000, kSource, 78, false);
  void* dl_big = a.dl_new(3000001, kSource, 79, false);
  void* dl_edge = a.dl_new(3000000, kSource, 80, false);
  a.delete_memory(&big);
  a.delete_memory(&edge);
  a.dl_delete(&dl_big);
  a.dl_delete(&dl_edge);

  std::vector<std::string> texts;
  for (const auto& l : stats_host::own_lines(dir.file("events.log"))) texts.push_back(l.text);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "Allocating big chunk of memory(3000001) at alloc.cpp:77");
  EXPECT_EQ(texts[1], "Allocating big chunk of dl-memory(3000001) at alloc.cpp:79");
}

TEST(MemoryAlloc, SmartGrowthDoublesOrTakesTheNeededCountKeepingOldBytesAndZeroingNew) {
  Allocators a;
  void* block = nullptr;
  EXPECT_EQ(a.oversize_smart(&block, 0, 5, 4, kSource, 1), 5);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(all_zero(block, 5 * 4));
  a.delete_memory(&block);

  a.oversize(&block, 0, 8, 4, kSource, 2);
  fill_counting(block, 8 * 4);
  void* old = block;
  EXPECT_EQ(a.oversize_smart(&block, 8, 10, 4, kSource, 3), 16);
  EXPECT_NE(block, nullptr);
  EXPECT_TRUE(holds_counting(block, 8 * 4));
  EXPECT_TRUE(all_zero(static_cast<char*>(block) + 8 * 4, 8 * 4));
  (void)old;

  EXPECT_EQ(a.oversize_smart(&block, 16, 100, 4, kSource, 4), 100);
  EXPECT_TRUE(holds_counting(block, 8 * 4));
  EXPECT_TRUE(all_zero(static_cast<char*>(block) + 8 * 4, 92 * 4));
  a.delete_memory(&block);
  EXPECT_EQ(block, nullptr);
}

TEST(MemoryAlloc, ShrinkingCopiesOnlyTheNewSize) {
  Allocators a;
  void* block = nullptr;
  a.oversize(&block, 0, 1000, 8, kSource, 5);
  fill_counting(block, 1000 * 8);
  a.oversize(&block, 1000, 3, 8, kSource, 6);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(holds_counting(block, 3 * 8));
  a.delete_memory(&block);
}

TEST(MemoryAlloc, OverflowingSizesRaiseAndLeaveTheBlockAlone) {
  Allocators a;
  void* block = a.new_memory(16, kSource, 7, true);
  void* const before = block;
  try {
    a.oversize(&block, 2, 0x40000000, 8, "D:\\x\\grow.cpp", 41);
    ADD_FAILURE() << "no error";
  } catch (const COSError& e) {
    expect_allocation_error(e, "Can't allocate memory at grow.cpp:41. Required size -1.");
  }
  EXPECT_EQ(block, before);
  EXPECT_THROW(a.oversize_smart(&block, 0x40000001, 1, 1, kSource, 8), COSError);
  EXPECT_THROW(a.oversize(&block, -1, 4, 4, kSource, 9), COSError);
  EXPECT_EQ(block, before);
  a.delete_memory(&block);
}

TEST(MemoryAlloc, FailedAllocationRaisesCOSErrorNamingTheCaller) {
  Allocators a;
  // More than a process can ever get in one block.
  try {
    void* block = a.new_memory(0xFFFFFFF0u, "C:\\src\\net\\conn.cpp", 120, false);
    a.delete_memory(&block);
    GTEST_SKIP() << "this system granted a 4 GiB block";
  } catch (const COSError& e) {
    expect_allocation_error(e, "Can't allocate memory at conn.cpp:120. Required size -16.");
  }
}

TEST(MemoryAlloc, NullDeletesDoNothingAndDeletesClearThePointer) {
  Allocators a;
  void* block = nullptr;
  EXPECT_NO_THROW(a.delete_memory(nullptr));
  EXPECT_NO_THROW(a.delete_memory(&block));
  EXPECT_NO_THROW(a.dl_delete(nullptr));
  EXPECT_NO_THROW(a.dl_delete(&block));
  EXPECT_EQ(block, nullptr);
  EXPECT_NO_THROW(a.trace_free(nullptr, kSource, 1));

  block = a.new_memory(10, kSource, 10, false);
  a.delete_memory(&block);
  EXPECT_EQ(block, nullptr);
  block = a.dl_new(10, kSource, 11, false);
  a.dl_delete(&block);
  EXPECT_EQ(block, nullptr);
}

TEST(MemoryAlloc, ReallocationKeepsContentAndAFailureKeepsTheOldBlock) {
  Allocators a;
  void* block = nullptr;
  void* got = a.realloc_memory(&block, 40, kSource, 20);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(block, got);
  fill_counting(block, 40);
  a.realloc_memory(&block, 4000, kSource, 21);
  EXPECT_TRUE(holds_counting(block, 40));

  void* const kept = block;
  try {
    a.realloc_memory(&block, -5, "E:\\a\\b\\grow.cpp", 22);
    ADD_FAILURE() << "no error";
  } catch (const COSError& e) {
    expect_allocation_error(e, "Can't reallocate memory at grow.cpp:22. Required size -5.");
  }
  EXPECT_EQ(block, kept);
  EXPECT_TRUE(holds_counting(block, 40));

  EXPECT_EQ(a.realloc_memory(&block, 0, kSource, 23), nullptr);
  EXPECT_EQ(block, nullptr);
}

TEST(MemoryAlloc, TracedCLibraryFunctionsAnswerNullInsteadOfRaising) {
  Allocators a;
  EXPECT_EQ(a.trace_malloc(-1, kSource, 30), nullptr);
  void* block = a.trace_malloc(8, kSource, 31);
  ASSERT_NE(block, nullptr);
  fill_counting(block, 8);
  EXPECT_EQ(a.trace_realloc(block, -1, kSource, 32), nullptr);
  EXPECT_TRUE(holds_counting(block, 8));
  block = a.trace_realloc(block, 800, kSource, 33);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(holds_counting(block, 8));
  EXPECT_EQ(a.trace_realloc(block, 0, kSource, 34), nullptr);
  EXPECT_EQ(a.trace_realloc(nullptr, 0, kSource, 35), nullptr);
}

TEST(MemoryAlloc, StrDuplCopiesTheText) {
  Allocators a;
  char* copy = a.str_dupl("quote 42", kSource, 40);
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "quote 42");
  void* block = copy;
  a.delete_memory(&block);
  EXPECT_EQ(a.str_dupl(nullptr, kSource, 41), nullptr);
}

TEST(MemoryAlloc, PrivateHeapReallocationZeroFillsGrowthAndSizeZeroFrees) {
  Allocators a;
  void* block = a.dl_new(32, kSource, 50, true);
  EXPECT_TRUE(all_zero(block, 32));
  fill_counting(block, 32);
  a.dl_realloc(&block, 64, kSource, 51);
  EXPECT_TRUE(holds_counting(block, 32));
  EXPECT_TRUE(all_zero(static_cast<char*>(block) + 32, 32));

  void* const kept = block;
  try {
    a.dl_realloc(&block, -1, "F:\\q\\heap.cpp", 52);
    ADD_FAILURE() << "no error";
  } catch (const COSError& e) {
    expect_allocation_error(e, "Can't reallocate dl-memory at heap.cpp:52. Required size -1.");
  }
  EXPECT_EQ(block, kept);

  a.dl_realloc(&block, 0, kSource, 53);
  EXPECT_EQ(block, nullptr);
  a.dl_realloc(&block, 0, kSource, 54);
  EXPECT_EQ(block, nullptr);

  a.dl_realloc(&block, 24, kSource, 55);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(all_zero(block, 24));
  a.dl_delete(&block);
}

TEST(MemoryAlloc, PrivateHeapFailureRaisesCOSError) {
  Allocators a;
  try {
    void* block = a.dl_new(0xFFFFFFF0u, "C:\\src\\dl.cpp", 9, false);
    a.dl_delete(&block);
    GTEST_SKIP() << "this system granted a 4 GiB block";
  } catch (const COSError& e) {
    expect_allocation_error(e, "Can't allocate dl-memory at dl.cpp:9. Required size -16.");
  }
}

}  // namespace
