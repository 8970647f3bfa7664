// Encoder operations and whole-picture round trips.
#include <gtest/gtest.h>

#include <cmath>

#include "codec_test_util.h"

using namespace codec;
using codectest::TempPath;

TEST(Quantize, LargestMagnitudeMapsToTheTopValueAndHalvesGoToEven) {
  // 2 x 2, depth 0: position 0 is the approximation band, the rest level 0 details.
  const double coefficients[4] = {3.0, -2.0, 1.0, 0.0};
  int32_t integers[4];
  double table[2];
  Quantize(coefficients, integers, 2, 2, 0, 8, table);
  EXPECT_EQ(table[0], 127.5);
  EXPECT_EQ(integers[1], -255);
  EXPECT_EQ(integers[2], 128);  // 127.5 rounds to the even 128
  EXPECT_EQ(integers[3], 0);
  EXPECT_EQ(table[1], 85.0);
  EXPECT_EQ(integers[0], 255);

  // Ties that halves away from zero would take the other way: 2.5 and -0.5.
  const double ties[4] = {1.0, -6.0, 5.0, -1.0};
  Quantize(ties, integers, 2, 2, 0, 2, table);
  EXPECT_EQ(table[0], 0.5);
  EXPECT_EQ(integers[1], -3);
  EXPECT_EQ(integers[2], 2);
  EXPECT_EQ(integers[3], 0);
}

TEST(Quantize, AllZeroBandGetsScaleZero) {
  const double coefficients[4] = {10.0, 0.0, 0.0, 0.0};
  int32_t integers[4] = {9, 9, 9, 9};
  double table[2];
  Quantize(coefficients, integers, 2, 2, 0, 4, table);
  EXPECT_EQ(table[0], 0.0);
  EXPECT_EQ(integers[1], 0);
  EXPECT_EQ(integers[0], 15);
  EXPECT_EQ(CountZeros(integers, 2, 2), 3);
}

TEST(ThresholdDetails, ZeroesSmallDetailsOnlyOutsideTheApproximation) {
  std::vector<double> plane(16, 0.5);
  plane[3] = -2;
  EXPECT_EQ(ThresholdDetails(plane.data(), 0.0, 4, 4, 1), 0);
  // Level 1 keeps R(2), the single top-left position.
  EXPECT_EQ(ThresholdDetails(plane.data(), 1.0, 4, 4, 1), 14);
  EXPECT_EQ(plane[0], 0.5);
  EXPECT_EQ(plane[3], -2.0);
  EXPECT_EQ(plane[1], 0.0);
}

TEST(ForwardTransform, FlatPictureHasOnlyApproximation) {
  std::vector<double> samples(8 * 8, 100.0), coefficients(64);
  ForwardTransform(samples.data(), coefficients.data(), 8, 8, 8, 8, 1);
  EXPECT_NEAR(coefficients[0], 400.0, 1e-12);  // two levels: 100 x 2 x 2
  EXPECT_NEAR(coefficients[1], 400.0, 1e-12);
  for (int p = 1; p < 64; ++p) {
    if (p != 1 && p != 8 && p != 9) {
      EXPECT_EQ(coefficients[p], 0.0) << p;
    }
  }
}

TEST(RoundTrip, PicturesComeBackAboveAQualityFloor) {
  codectest::FailureCatcher catcher;
  struct Case {
    int32_t width, height, channels, depth, bits;
    double threshold, floor;
  };
  const Case cases[] = {
      {256, 256, 3, 3, 8, 0, 35},  {128, 64, 1, 2, 8, 0, 35}, {64, 64, 3, 0, 8, 0, 38},
      {128, 128, 3, 4, 6, 0, 28}, {128, 128, 1, 3, 8, 2, 30},
  };
  for (const Case& c : cases) {
    const auto rows = codectest::TestPicture(c.width, c.height, c.channels);
    const std::string path = TempPath("roundtrip.tqz");
    EncodeImage(path, rows.data(), c.width, c.height, c.channels, c.depth, c.bits, c.threshold);
    ImageHeader header;
    const auto back = codectest::DecodeToRows(path, header);
    ASSERT_EQ(back.size(), rows.size());
    EXPECT_EQ(header.BitsPerPixel, c.channels == 1 ? 8 : 24);
    EXPECT_EQ(header.Depth, c.depth);
    EXPECT_GE(codectest::Psnr(rows, back), c.floor)
        << c.width << "x" << c.height << " depth " << c.depth << " bits " << c.bits;
  }
}

TEST(RoundTrip, FlatAndTwoToneGreyPicturesAreExact) {
  codectest::FailureCatcher catcher;
  std::vector<uint8_t> rows(32 * 32, 77);
  for (size_t p = 0; p < rows.size(); ++p)
    if (p % 32 >= 16) rows[p] = 200;
  const std::string path = TempPath("twotone.tqz");
  EncodeImage(path, rows.data(), 32, 32, 1, 3, 8, 0);
  ImageHeader header;
  EXPECT_EQ(codectest::DecodeToRows(path, header), rows);
}
