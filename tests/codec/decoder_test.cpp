// Decoder steps: inverse transform with ramp smoothing, rounding to bytes, symbol
// expansion, and what DecodeImageFile does with the caller's buffer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "codec_test_util.h"

using namespace codec;
using codectest::TempPath;

namespace {

// Decodes a 2 x 8, depth 0 plane whose approximation column holds the four values.
std::vector<uint8_t> DecodeColumn(const double (&approximation)[4]) {
  std::vector<double> src(16, 0.0), dst(16, -1.0);
  for (int y = 0; y < 4; ++y) src[y * 2] = approximation[y];
  InverseTransform(src.data(), dst.data(), 2, 8, 2, 8, 0);
  std::vector<uint8_t> pixels(16);
  PlaneToGray(dst.data(), pixels.data(), 16);
  return pixels;
}

std::vector<uint8_t> Rows(std::initializer_list<uint8_t> column) {
  std::vector<uint8_t> rows;
  for (uint8_t v : column) rows.insert(rows.end(), {v, v});
  return rows;
}

}  // namespace

TEST(RampSmoothing, ChangingLowPassBecomesARamp) {
  EXPECT_EQ(DecodeColumn({20, 40, 60, 80}), Rows({10, 10, 18, 22, 28, 32, 40, 40}));
}

TEST(RampSmoothing, StepBetweenFlatStretchesStaysSharp) {
  EXPECT_EQ(DecodeColumn({20, 20, 80, 80}), Rows({10, 10, 10, 10, 40, 40, 40, 40}));
}

TEST(RampSmoothing, NonZeroDetailAndOuterPairsArePlain) {
  const double s = HaarFactor;
  const double low[5] = {10, 20, 30, 40, 50};
  const double high[5] = {0, 0, 1, 0, 0};
  double even, odd;
  RampSmoothing(low, high, 1, 5, 2, even, odd);  // detail set: plain
  EXPECT_EQ(even, (30 + 1) * s);
  EXPECT_EQ(odd, (30 - 1) * s);
  RampSmoothing(low, high, 1, 5, 0, even, odd);
  EXPECT_EQ(even, 10 * s);
  EXPECT_EQ(odd, 10 * s);
  RampSmoothing(low, high, 1, 5, 4, even, odd);
  EXPECT_EQ(even, 50 * s);
  // Pair 1: its odd half leans on nothing because pair 2's detail is set; its even
  // half leans towards pair 0.
  RampSmoothing(low, high, 1, 5, 1, even, odd);
  EXPECT_EQ(even, (0.8 * 20 + 0.2 * 10) * s);
  EXPECT_EQ(odd, 20 * s);
}

TEST(RampSmoothing, ReadsStridedColumns) {
  // The same sequence as one column of a 3-wide plane.
  const double low[] = {10, 0, 0, 20, 0, 0, 30, 0, 0, 40};
  const double high[10] = {};
  double even, odd;
  RampSmoothing(low, high, 3, 4, 1, even, odd);
  EXPECT_EQ(even, (0.8 * 20 + 0.2 * 10) * HaarFactor);
  EXPECT_EQ(odd, (0.8 * 20 + 0.2 * 30) * HaarFactor);
}

TEST(InverseTransform, UndoesTheForwardTransformExactlyEnoughForBytes) {
  // With every detail non-zero the inverse is the plain Haar step at every level.
  const int32_t w = 16, h = 8;
  std::vector<double> samples(w * h), coefficients(w * h), back(w * h);
  for (int32_t p = 0; p < w * h; ++p) samples[p] = (p * 37) % 251 + 0.25;
  ForwardTransform(samples.data(), coefficients.data(), w, h, w, h, 2);
  InverseTransform(coefficients.data(), back.data(), w, h, w, h, 2);
  for (int32_t p = 0; p < w * h; ++p) EXPECT_NEAR(back[p], samples[p], 1e-9);
}

TEST(InverseTransform, WritesNothingOutsideItsRegion) {
  std::vector<double> src(8 * 8, 1.0), dst(8 * 8, -5.0);
  InverseTransform(src.data(), dst.data(), 4, 4, 8, 8, 1);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      if (x >= 4 || y >= 4) {
        EXPECT_EQ(dst[y * 8 + x], -5.0);
      }
    }
}

TEST(PixelConversion, RoundsHalfToEvenAndClamps) {
  const double in[] = {255.0, 254.5, 255.7, -3, 0.4, 0.5, 1.5, 2.5, 127.49, NAN, 1e300, -0.0};
  const uint8_t want[] = {255, 254, 255, 0, 0, 0, 2, 2, 127, 255, 255, 0};
  uint8_t out[std::size(in)];
  PlaneToGray(in, out, std::size(in));
  for (size_t i = 0; i < std::size(in); ++i) EXPECT_EQ(out[i], want[i]) << in[i];
}

TEST(PixelConversion, RgbWordIsRedGreenBlueFromHighToLow) {
  const double red[] = {200, 0}, green[] = {100, 300}, blue[] = {50, -1};
  uint8_t out[8];
  PlanesToRgb(red, green, blue, out, 2);
  uint32_t word;
  std::memcpy(&word, out, 4);
  EXPECT_EQ(word, 0x00C86432u);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0x32, 0x64, 0xC8, 0x00}));
  EXPECT_EQ(std::vector<uint8_t>(out + 4, out + 8), (std::vector<uint8_t>{0, 255, 0, 0}));
}

TEST(SymbolExpansion, RunsFillValuePlusOnePositionsAndTrailingZerosCount) {
  const uint8_t symbols[] = {Positive, ZeroRun, Negative, Zero, Zero};
  const uint8_t values[] = {9, 2, 4};
  std::vector<int32_t> plane(7, 77);
  ExpandSymbols(plane.data(), symbols, 5, values, 3, 7, 1);
  EXPECT_EQ(plane, (std::vector<int32_t>{9, 0, 0, 0, -4, 0, 0}));
}

TEST(SymbolExpansion, StopsAtThePlaneEndAndWhenValuesRunOut) {
  const uint8_t runPastEnd[] = {Zero, ZeroRun, Positive};
  const uint8_t values[] = {200, 5};
  std::vector<int32_t> plane(6, 77);
  plane.reserve(300);
  ExpandSymbols(plane.data(), runPastEnd, 3, values, 2, 2, 2);
  EXPECT_EQ(plane, (std::vector<int32_t>{0, 0, 0, 0, 77, 77}));  // only 4 positions

  const uint8_t missingValue[] = {Positive, Zero, Negative, Zero};
  std::fill(plane.begin(), plane.end(), 77);
  ExpandSymbols(plane.data(), missingValue, 4, values, 1, 3, 2);
  EXPECT_EQ(plane, (std::vector<int32_t>{200, 0, 0, 0, 0, 0}));  // the rest is 0
}

TEST(Dequantize, ScalesEachBandByItsOwnEntryAndZeroEntriesGiveZero) {
  // 4 x 4, depth 1: level 0 details, level 1 details (three positions), approximation.
  std::vector<int32_t> integers(16, 2);
  const double table[3] = {4, 0, 0.5};
  std::vector<double> plane(16, -1);
  Dequantize(integers.data(), plane.data(), 4, 4, 1, table);
  EXPECT_EQ(plane[0], 4.0);             // approximation: 2 / 0.5
  EXPECT_EQ(plane[1], 0.0);             // level 1 detail, entry 0
  EXPECT_EQ(plane[4 + 1], 0.0);
  EXPECT_EQ(plane[2], 0.5);             // level 0 detail: 2 / 4
  EXPECT_EQ(plane[15], 0.5);
}

TEST(DecodeImageFile, AllocateResizesAndZeroSizeReleases) {
  codectest::FailureCatcher catcher;
  const std::string path = TempPath("grey4.tqz");
  const std::vector<uint8_t> rows(16, 100);
  EncodeImage(path, rows.data(), 4, 4, 1, 0, 8, 0);
  ImageHeader header;
  uint8_t* pixels = nullptr;
  DecodeImageFile(pixels, header, path, true);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 16), rows);

  // allocate clear: the caller's buffer is written in place.
  uint8_t own[16] = {};
  uint8_t* ownPointer = own;
  DecodeImageFile(ownPointer, header, path, false);
  EXPECT_EQ(ownPointer, own);
  EXPECT_EQ(own[5], 100);

  const std::vector<uint8_t> none;
  const std::string empty = TempPath("zero.tqz");
  EncodeImage(empty, none.data(), 0, 8, 1, 0, 8, 0);
  DecodeImageFile(pixels, header, empty, true);
  EXPECT_EQ(pixels, nullptr);
  // Copies: a field of the packed header may sit at a misaligned address.
  EXPECT_EQ(int{header.Width}, 0);
  EXPECT_EQ(int{header.Height}, 8);
}

TEST(DecodeImageFile, OtherBitsPerPixelFillsOnlyTheHeader) {
  codectest::FailureCatcher catcher;
  ImageHeader written{};
  std::memcpy(written.Magic, "XYZ", 3);
  written.Width = 4000;
  written.Height = 4000;
  written.BitsPerPixel = 32;
  const std::string path = TempPath("bpp32.tqz");
  std::vector<uint8_t> bytes(34);
  std::memcpy(bytes.data(), &written, 34);
  codectest::WriteBytes(path, bytes);
  uint8_t marker = 7;
  uint8_t* pixels = &marker;
  ImageHeader header;
  DecodeImageFile(pixels, header, path, true);
  EXPECT_EQ(pixels, &marker);
  EXPECT_EQ(std::memcmp(&header, &written, 34), 0);
}

TEST(PixelConversion, FastRoundingAgreesWithNearbyint) {
  uint64_t state = 99;
  for (int k = 0; k < 200000; ++k) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    // Every half and quarter step, and random doubles with all their fraction bits.
    const double x = k < 2040 ? k * 0.125 : double(state >> 11) / double(1ull << 53) * 255.0;
    ASSERT_EQ(NearbyIntSmall(x), std::nearbyint(x)) << x;
    ASSERT_EQ(NearbyIntSmall(std::nextafter(x, 0.0)), std::nearbyint(std::nextafter(x, 0.0)));
    ASSERT_EQ(NearbyIntSmall(std::nextafter(x, 255.0)), std::nearbyint(std::nextafter(x, 255.0)));
  }
}
