// A host built as hosts of Korvex.dll must be (libstdc++ and libgcc as DLLs, shared
// with the DLL) catches many errors thrown inside the DLL, and its C++ runtime still
// counts no exception in flight afterwards: with a runtime of its own inside either
// side, each catch here takes one from a count that the throw never added to.
#include <gtest/gtest.h>
#include <windows.h>

#include <exception>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "korvex_host.h"
#include "kverror.h"
#include "pclib.h"

namespace {

#define KV(name) korvex_host::proc<decltype(&::name)>(#name)

constexpr int kErrors = 500;

// Raises and catches kErrors errors of the whole family; answers how many were caught.
int catch_many() {
  int caught = 0;
  for (int i = 0; i < kErrors; ++i) {
    try {
      if (i % 3 == 0) {
        KV(kvraisec)(i, "raised %d", i);
      } else if (i % 3 == 1) {
        KV(kvraise)("raised %d", i);
      } else {
        SetLastError(ERROR_FILE_NOT_FOUND);
        KV(kvraiseos)("raised %d", i);
      }
    } catch (const CEmptyError& e) {
      // kvraiseos puts the source position first and the OS error's text last.
      const std::string text = std::string(e.GetErrorDesc()) + " ";
      if (text.find("raised " + std::to_string(i) + " ") != std::string::npos) ++caught;
    }
  }
  return caught;
}

TEST(RuntimeSharing, NoExceptionInFlightAfterCatchingManyKorvexErrors) {
  ASSERT_EQ(std::uncaught_exceptions(), 0);
  EXPECT_EQ(catch_many(), kErrors);
  EXPECT_EQ(std::uncaught_exceptions(), 0);
  // Stream sentries flush and scope guards decide by that count.
  std::ostringstream out;
  out << "still writes " << 1;
  EXPECT_EQ(out.str(), "still writes 1");
}

TEST(RuntimeSharing, EachThreadKeepsItsOwnCountRight) {
  int counts[2] = {-99, -99};
  std::thread first([&counts] {
    catch_many();
    counts[0] = std::uncaught_exceptions();
  });
  std::thread second([&counts] {
    catch_many();
    counts[1] = std::uncaught_exceptions();
  });
  first.join();
  second.join();
  EXPECT_EQ(counts[0], 0);
  EXPECT_EQ(counts[1], 0);
}

// While a host's own exception unwinds, a Korvex error raised and caught in a destructor
// leaves the count at one, not zero.
TEST(RuntimeSharing, ErrorCaughtDuringUnwindingKeepsTheOuterExceptionCounted) {
  struct CatchesWhileUnwinding {
    int& seen;
    ~CatchesWhileUnwinding() {
      try {
        KV(kvraise)("inside a destructor");
      } catch (const CError&) {
      }
      seen = std::uncaught_exceptions();
    }
  };
  int seen = -99;
  try {
    CatchesWhileUnwinding guard{seen};
    throw std::runtime_error("host's own");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(seen, 1);
  EXPECT_EQ(std::uncaught_exceptions(), 0);
}

}  // namespace
