#include "archive/candle.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

TEST(CandleEncoding, FieldsAreLittleEndianInFileOrder) {
  Candle c;
  c.volume = 1.0;  // 0x3FF0000000000000
  c.open = 2.0;    // 0x4000000000000000
  c.high = -0.5;   // 0xBFE0000000000000
  c.low = 0;
  c.close = 0.25;     // 0x3FD0000000000000
  c.date = 20240105;  // 0x0134D6E9
  c.time = 93000;     // 0x00016B48
  std::array<unsigned char, kCandleBytes> bytes{};
  EncodeCandle(c, bytes.data());
  EXPECT_EQ(bytes[7], 0x3F);
  EXPECT_EQ(bytes[6], 0xF0);
  EXPECT_EQ(bytes[0], 0x00);
  EXPECT_EQ(bytes[15], 0x40);
  EXPECT_EQ(bytes[23], 0xBF);
  EXPECT_EQ(bytes[22], 0xE0);
  EXPECT_EQ(bytes[31], 0x00);
  EXPECT_EQ(bytes[39], 0x3F);
  EXPECT_EQ(bytes[38], 0xD0);
  const unsigned char date[] = {0xE9, 0xD6, 0x34, 0x01};
  const unsigned char time[] = {0x48, 0x6B, 0x01, 0x00};
  EXPECT_EQ(std::memcmp(bytes.data() + 40, date, 4), 0);
  EXPECT_EQ(std::memcmp(bytes.data() + 44, time, 4), 0);
}

TEST(CandleEncoding, RoundTripKeepsEveryFieldIncludingNegatives) {
  Candle in[2];
  in[0] = {123.25, 1.5, 2.75, -3.125, 1e300, 20991231, 235959};
  in[1] = {0, -0.0, 5e-324, 7, 8, -1, 3000};
  unsigned char bytes[2 * kCandleBytes];
  EncodeCandles(in, 2, bytes);
  Candle out[2];
  DecodeCandles(bytes, 2, out);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(std::memcmp(&in[i], &out[i], sizeof(Candle)), 0) << i;
  }
}

TEST(CandleValues, ToleranceIsOneHundredMillionth) {
  EXPECT_TRUE(ValuesEqual(1.0, 1.0 + 0.9e-8));
  EXPECT_TRUE(ValuesEqual(0, -1e-8));
  EXPECT_FALSE(ValuesEqual(1.0, 1.0 + 2e-8));
}
