#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

// The candle format stores doubles and 32-bit integers little-endian; every target
// we build for must agree on that before any archive is written.
TEST(Toolchain, TargetIsLittleEndianWithIeeeDoubles) {
  const std::uint32_t probe = 0x01020304u;
  unsigned char bytes[4];
  std::memcpy(bytes, &probe, sizeof bytes);
  EXPECT_EQ(bytes[0], 0x04);
  const double one = 1.0;
  std::uint64_t bits = 0;
  std::memcpy(&bits, &one, sizeof bits);
  EXPECT_EQ(bits, 0x3FF0000000000000ull);
}

TEST(Toolchain, PointerSizeMatchesTheTarget) {
#if defined(_WIN32) && !defined(_WIN64)
  EXPECT_EQ(sizeof(void*), 4u);
#else
  EXPECT_EQ(sizeof(void*), 8u);
#endif
}
