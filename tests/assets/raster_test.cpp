// The picture maker's drawing helpers: text placement and squeeze, periodic blur.
#include <gtest/gtest.h>

#include <string>

#include "raster.h"

namespace {

const std::string kFont = std::string(DEJAVU_FONT_DIR) + "/DejaVuSans-Bold.ttf";

// First and last column with any coverage, or (-1, -1).
std::pair<int, int> InkColumns(const raster::Mask& m) {
  int first = -1, last = -1;
  for (int x = 0; x < m.Width; ++x)
    for (int y = 0; y < m.Height; ++y)
      if (m.At(x, y) > 0.0f) {
        if (first < 0) first = x;
        last = x;
        break;
      }
  return {first, last};
}

TEST(Raster, TextIsCentredAndSqueezedWhereAsked) {
  raster::Font plain(kFont, 40.0f), squeezed(kFont, 40.0f, 0.5f);
  const float width = plain.Width("Lumetra", 4.0f);
  EXPECT_GT(width, 100.0f);
  // The squeeze narrows glyphs and their spacing alike; tracking stays in pixels.
  EXPECT_NEAR(squeezed.Width("Lumetra", 4.0f) - 6 * 4.0f, (width - 6 * 4.0f) * 0.5f, 2.0f);

  for (const raster::Font* font : {&plain, &squeezed}) {
    raster::Mask m(400, 100);
    font->Draw(m, "Lumetra", 180.0f, 70.0f, 4.0f);
    const auto [first, last] = InkColumns(m);
    ASSERT_GE(first, 0);
    EXPECT_NEAR((first + last + 1) / 2.0f, 180.0f, 3.0f);
    // Ink is narrower than the advances by the outer side bearings.
    EXPECT_NEAR(last + 1 - first, font->Width("Lumetra", 4.0f), 8.0f);
    // Capitals stand on the baseline and reach up by the cap height.
    int top = m.Height, bottom = -1;
    for (int y = 0; y < m.Height; ++y)
      for (int x = 0; x < m.Width; ++x)
        if (m.At(x, y) > 0.5f) {
          top = std::min(top, y);
          bottom = std::max(bottom, y);
        }
    EXPECT_NEAR(bottom + 1, 70, 1);
    EXPECT_NEAR(70 - top, font->CapHeight(), 2.0f);
  }
}

TEST(Raster, WrappedBlurIsPeriodicAndKeepsTheLight) {
  raster::Mask dot(64, 32);
  dot.At(0, 0) = 1.0f;
  const raster::Mask wrapped = raster::Blur(dot, 2.0f, true);
  float total = 0.0f;
  for (float v : wrapped.A) total += v;
  EXPECT_NEAR(total, 1.0f, 1e-4f);
  // Light spreads across the wrap exactly as it does inwards.
  EXPECT_FLOAT_EQ(wrapped.At(63, 0), wrapped.At(1, 0));
  EXPECT_FLOAT_EQ(wrapped.At(0, 31), wrapped.At(0, 1));
  EXPECT_FLOAT_EQ(wrapped.At(62, 30), wrapped.At(2, 2));
  // Without wrap the light that would cross the edge is lost.
  const raster::Mask clipped = raster::Blur(dot, 2.0f, false);
  EXPECT_EQ(clipped.At(63, 0), 0.0f);
  EXPECT_GT(clipped.At(1, 0), 0.0f);
}

TEST(Raster, CanvasClampsToBytesAndAddsLight) {
  raster::Canvas c(2, 1);
  c.AddFunction([](float x, float) { return raster::Rgb{x, 0.5f, -1.0f}; });
  c.AddFunction([](float, float) { return raster::Rgb{0.0f, 0.25f, 0.0f}; });
  const std::vector<uint8_t> bytes = c.ToBytes();
  ASSERT_EQ(bytes.size(), 6u);
  EXPECT_EQ(bytes[0], 128);  // 0.5
  EXPECT_EQ(bytes[1], 191);  // 0.75
  EXPECT_EQ(bytes[2], 0);    // negative light clamps to black
  EXPECT_EQ(bytes[3], 255);  // 1.5 clamps to full
}

}  // namespace
