#include "app/change_entries.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/log.h"

TEST(ChangeEntries, LotFieldsAndValuesCarriedFromThePreviousEntry) {
  const LotEntry first = ParseLotEntry("TQBR,SBER,1,10", LotEntry{});
  EXPECT_EQ(first.cls, "TQBR");
  EXPECT_EQ(first.sec, "SBER");
  EXPECT_EQ(first.oldLot, 1);
  EXPECT_EQ(first.newLot, 10);
  const LotEntry tail = ParseLotEntry("TQBR,GAZP,5", first);  // the tail is the new lot
  EXPECT_EQ(tail.oldLot, 1);
  EXPECT_EQ(tail.newLot, 5);
  const LotEntry bare = ParseLotEntry("TQBR, LKOH", tail);  // blanks are kept
  EXPECT_EQ(bare.sec, " LKOH");
  EXPECT_EQ(bare.oldLot, 1);
  EXPECT_EQ(bare.newLot, 5);
  const LotEntry longer = ParseLotEntry("A,B,100,1,7", LotEntry{});
  EXPECT_EQ(longer.oldLot, 100);
  EXPECT_EQ(longer.newLot, 1);
  EXPECT_EQ(ParseLotEntry("A,B", LotEntry{}).newLot, 0);

  EXPECT_TRUE(LotsInRange(longer));
  for (auto [o, n] : {std::pair{0, 1}, {1, 0}, {-5, 1}, {1, -1}, {100000001, 1}, {1, 100000001}})
    EXPECT_FALSE(LotsInRange(LotEntry{"A", "B", o, n})) << o << " " << n;
  EXPECT_TRUE(LotsInRange(LotEntry{"A", "B", 100000000, 1}));
}

TEST(ChangeEntries, LotDivisorAndItsTrace) {
  SetLogLevel(99);
  testing::internal::CaptureStdout();
  EXPECT_DOUBLE_EQ(LotDivisor(1, 10), 10.0);
  EXPECT_TRUE(testing::internal::GetCapturedStdout().empty());
  testing::internal::CaptureStdout();
  EXPECT_DOUBLE_EQ(LotDivisor(100, 1), 0.01);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("kLot_ = 1    dd = 100\n"), std::string::npos) << out;
  testing::internal::CaptureStdout();
  EXPECT_DOUBLE_EQ(LotDivisor(1000, 1), 0.001);
  out = testing::internal::GetCapturedStdout();
  const auto first = out.find("kLot_ = 0    dd = 100\n");
  EXPECT_NE(first, std::string::npos) << out;
  EXPECT_NE(out.find("kLot_ = 1    dd = 1000\n", first), std::string::npos) << out;
  // The widest lots end the loop without overflow.
  EXPECT_DOUBLE_EQ(LotDivisor(100000000, 1), 1e-8);
  EXPECT_DOUBLE_EQ(LotDivisor(1, 100000000), 1e8);
  SetLogLevel(1);
}

TEST(ChangeEntries, PriceFieldsChecksAndLineFormat) {
  const PriceEntry two = ParsePriceEntry("TQBR,SBER,10");
  EXPECT_DOUBLE_EQ(two.divisor, 10);
  EXPECT_EQ(two.digits, 0);
  const PriceEntry four = ParsePriceEntry("TQBR,SBER,2.5,4");
  EXPECT_DOUBLE_EQ(four.divisor, 2.5);
  EXPECT_EQ(four.digits, 4);
  EXPECT_EQ(ParsePriceEntry("TQBR,SBER,2.5,4,1").digits, 0);
  EXPECT_EQ(ParsePriceEntry("TQBR,SBER").divisor, 0);

  EXPECT_TRUE(PriceDivisorValid(four));
  for (double d : {0.0, -1.0, std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::quiet_NaN()})
    EXPECT_FALSE(PriceDivisorValid(PriceEntry{"A", "B", d, 2})) << d;
  EXPECT_FALSE(PriceDivisorValid(ParsePriceEntry("A,B,nan")));
  EXPECT_TRUE(PriceDigitsValid(PriceEntry{"A", "B", 1, 9}));
  EXPECT_FALSE(PriceDigitsValid(PriceEntry{"A", "B", 1, 10}));
  EXPECT_FALSE(PriceDigitsValid(ParsePriceEntry("A,B,1,-2")));

  EXPECT_EQ(PriceLineFormat(2), "%s %s %9.2f %i");
  EXPECT_EQ(PriceLineFormat(4), "%s %s %9.4f %i");
}
