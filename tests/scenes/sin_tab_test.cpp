// The plasma's sine table against the x87 unit's own extended-precision sine.
#include <gtest/gtest.h>

#include <cstdint>

#include "scenes/globals.h"
#include "scenes/plasma.h"

namespace {

// pi and sin straight from the x87 instructions, independent of the C library.
long double X87Pi() {
  long double pi;
  asm("fldpi" : "=t"(pi));
  return pi;
}

long double X87Sin(long double x) {
  long double s;
  asm("fsin" : "=t"(s) : "0"(x));
  return s;
}

int32_t X87TableEntry(int i) {
  const long double angle = static_cast<long double>(i) * X87Pi() / 180.0L;
  const double rounded = static_cast<double>(angle);
  return static_cast<int32_t>(X87Sin(rounded) * 1024.0L);
}

TEST(SinTab, EveryEntryMatchesTheX87Computation) {
  scenes::BuildSinTab();
  for (int i = 0; i <= 360; ++i) EXPECT_EQ(scenes::SinTab[i], X87TableEntry(i)) << "entry " << i;
}

TEST(SinTab, HalfValuesFallAsTheRoundedAnglesLeaveThem) {
  scenes::BuildSinTab();
  EXPECT_EQ(scenes::SinTab[30], 512);
  EXPECT_EQ(scenes::SinTab[150], 511);
  EXPECT_EQ(scenes::SinTab[210], -512);
  EXPECT_EQ(scenes::SinTab[330], -511);
}

TEST(SinTab, TruncatesTowardZero) {
  scenes::BuildSinTab();
  EXPECT_EQ(scenes::SinTab[0], 0);
  EXPECT_EQ(scenes::SinTab[1], 17);
  EXPECT_EQ(scenes::SinTab[45], 724);
  EXPECT_EQ(scenes::SinTab[90], 1024);
  EXPECT_EQ(scenes::SinTab[180], 0);
  EXPECT_EQ(scenes::SinTab[270], -1024);
  EXPECT_EQ(scenes::SinTab[359], -17);
  EXPECT_EQ(scenes::SinTab[360], 0);
}

}  // namespace
