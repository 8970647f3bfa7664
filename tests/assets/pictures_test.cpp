// Checks of the nine pictures the build draws into data/, decoded with the
// production's own decoder, for what the scenes rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/codec.h"

namespace {

struct Decoded {
  int Width = 0, Height = 0, BitsPerPixel = 0;
  std::vector<uint32_t> Words;  // red << 16 | green << 8 | blue
  uint32_t At(int x, int y) const { return Words[size_t(y) * Width + x]; }
  // Brightest channel of a pixel.
  int Peak(int x, int y) const {
    const uint32_t w = At(x, y);
    return std::max({int(w >> 16 & 0xFF), int(w >> 8 & 0xFF), int(w & 0xFF)});
  }
  int RowPeak(int y) const {
    int p = 0;
    for (int x = 0; x < Width; ++x) p = std::max(p, Peak(x, y));
    return p;
  }
  int ColumnPeak(int x) const {
    int p = 0;
    for (int y = 0; y < Height; ++y) p = std::max(p, Peak(x, y));
    return p;
  }
};

Decoded Decode(const std::string& name) {
  Decoded d;
  const std::string path = std::string(LUMETRA_BUILD_DIR) + "/data/" + name + ".tqz";
  // The decoder ends the program on a missing file: look first.
  if (!std::filesystem::exists(path)) {
    ADD_FAILURE() << path << " is missing";
    return d;
  }
  uint8_t* pixels = nullptr;
  codec::ImageHeader header{};
  codec::DecodeImageFile(pixels, header, path, true);
  d.Width = header.Width;
  d.Height = header.Height;
  d.BitsPerPixel = header.BitsPerPixel;
  if (pixels && d.BitsPerPixel == 24) {
    const uint32_t* words = reinterpret_cast<const uint32_t*>(pixels);
    d.Words.assign(words, words + size_t(d.Width) * d.Height);
  }
  std::free(pixels);
  return d;
}

struct Expected {
  const char* Name;
  int Width, Height;
};

const Expected kPictures[] = {
    {"loading", 512, 512},  {"intro1", 512, 512},  {"checkers", 256, 256},
    {"checkers2", 256, 256}, {"flare", 64, 64},    {"flare2", 256, 256},
    {"greets1", 512, 512},  {"greets2", 512, 512}, {"greets3", 256, 512},
};

TEST(Pictures, EveryPictureDecodesToItsSizeInThreeChannels) {
  for (const Expected& e : kPictures) {
    SCOPED_TRACE(e.Name);
    const Decoded d = Decode(e.Name);
    EXPECT_EQ(d.Width, e.Width);
    EXPECT_EQ(d.Height, e.Height);
    EXPECT_EQ(d.BitsPerPixel, 24);
    ASSERT_EQ(d.Words.size(), size_t(e.Width) * e.Height);
    // Not empty: every picture adds some real light.
    int peak = 0;
    for (int y = 0; y < d.Height; ++y) peak = std::max(peak, d.RowPeak(y));
    EXPECT_GT(peak, 200);
  }
}

// Pictures shown on their own quad over black fade to nothing at their edges, so the
// quad's outline never shows under additive blending.
TEST(Pictures, FramedPicturesAreBlackAtTheirEdges) {
  for (const char* name : {"loading", "intro1", "flare", "flare2", "greets1", "greets2"}) {
    SCOPED_TRACE(name);
    const Decoded d = Decode(name);
    ASSERT_FALSE(d.Words.empty());
    EXPECT_EQ(d.RowPeak(0), 0);
    EXPECT_EQ(d.RowPeak(d.Height - 1), 0);
    EXPECT_EQ(d.ColumnPeak(0), 0);
    EXPECT_EQ(d.ColumnPeak(d.Width - 1), 0);
  }
}

// intro1 is shown one half at a time, greets1 and greets2 one quarter at a time:
// every part holds something and the rows where the parts meet are black, so no
// part bleeds into its neighbour's quad.
TEST(Pictures, CardsAndBandsAreSeparate) {
  const struct {
    const char* Name;
    int Parts;
  } cut[] = {{"intro1", 2}, {"greets1", 4}, {"greets2", 4}};
  for (const auto& c : cut) {
    SCOPED_TRACE(c.Name);
    const Decoded d = Decode(c.Name);
    ASSERT_FALSE(d.Words.empty());
    const int part = d.Height / c.Parts;
    for (int k = 0; k < c.Parts; ++k) {
      int peak = 0;
      for (int y = k * part; y < (k + 1) * part; ++y) peak = std::max(peak, d.RowPeak(y));
      EXPECT_GT(peak, 200) << "part " << k;
      for (int y : {k * part, k * part + 1, (k + 1) * part - 2, (k + 1) * part - 1})
        EXPECT_EQ(d.RowPeak(y), 0) << "row " << y;
    }
  }
}

// The checker pictures repeat across the room walls: the pattern across the wrap
// (last column to first, last row to first) is the same as across an inner line of
// the same phase, lit where it is lit and dark where it is dark.
TEST(Pictures, CheckerPicturesTileWithoutASeam) {
  for (const char* name : {"checkers", "checkers2"}) {
    SCOPED_TRACE(name);
    const Decoded d = Decode(name);
    ASSERT_FALSE(d.Words.empty());
    const int w = d.Width, h = d.Height, midX = w / 2, midY = h / 2;
    auto lit = [&](int x, int y) { return d.Peak(x, y) > 24; };
    int mismatches = 0;
    for (int y = 0; y < h; ++y) {
      mismatches += lit(w - 1, y) != lit(midX - 1, y);
      mismatches += lit(0, y) != lit(midX, y);
    }
    for (int x = 0; x < w; ++x) {
      mismatches += lit(x, h - 1) != lit(x, midY - 1);
      mismatches += lit(x, 0) != lit(x, midY);
    }
    EXPECT_EQ(mismatches, 0);
    // And the wrap is not simply black on both sides.
    EXPECT_GT(d.ColumnPeak(0) + d.ColumnPeak(w - 1), 100);
  }
}

// Particle glows are brightest in the middle and fall off outwards.
TEST(Pictures, FlaresGlowFromTheCentre) {
  for (const char* name : {"flare", "flare2"}) {
    SCOPED_TRACE(name);
    const Decoded d = Decode(name);
    ASSERT_FALSE(d.Words.empty());
    const int c = d.Width / 2;
    EXPECT_GE(d.Peak(c, c), 250);
    EXPECT_GT(d.Peak(c, c), d.Peak(c + d.Width / 8, c + d.Width / 8));
    EXPECT_GT(d.Peak(c + d.Width / 8, c + d.Width / 8), d.Peak(c + d.Width / 3, c + d.Width / 3));
  }
}

}  // namespace
