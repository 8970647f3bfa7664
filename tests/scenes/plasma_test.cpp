// Plasma layer scenes: the canvas pixels, the one-time set-ups and the flash resets,
// driven through the timeline as the frame loop drives them.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "demo/timeline.h"
#include "scenes/globals.h"
#include "scenes/plasma.h"
#include "support/scene_fixture.h"

namespace {

using namespace scenes;

using PlasmaTest = testsupport::SceneTest;

struct Texel {
  uint8_t r, g, b, a;
};

int Wrap360(int64_t v) { return static_cast<int>(v % 360); }

// The column and row sums straight from their formulas, for a non-negative phase.
int32_t ColumnSum(int x, int64_t t) {
  return 30 * SinTab[Wrap360(2 * x + 2 * t)] + 20 * SinTab[Wrap360(x + t)] +
         40 * SinTab[Wrap360(x / 2 + t / 4)];
}
int32_t RowSum(int y, int64_t t) {
  return 30 * SinTab[Wrap360(y / 4 + 2 * t)] + 20 * SinTab[Wrap360(y + t)] +
         20 * SinTab[Wrap360(2 * y + t / 4)];
}

// The texel a sum must give: level floor(sum / 1024), grey and 255 - level both
// reduced modulo 256.
Texel ExpectedTexel(int32_t sum) {
  const int level = static_cast<int>(std::floor(sum / 1024.0));
  const auto low8 = [](int v) { return static_cast<uint8_t>(((v % 256) + 256) % 256); };
  const uint8_t grey = low8(level);
  return {grey, grey, grey, low8(255 - level)};
}

Texel CanvasTexel(int x, int y) {
  const uint8_t* p = Textures.canvas->Pixels + 4 * (y * Textures.canvas->Width + x);
  return {p[0], p[1], p[2], p[3]};
}

void ExpectTexel(const Texel& got, int grey, int alpha, const char* what) {
  EXPECT_EQ(got.r, grey) << what;
  EXPECT_EQ(got.g, grey) << what;
  EXPECT_EQ(got.b, grey) << what;
  EXPECT_EQ(got.a, alpha) << what;
}

TEST_F(PlasmaTest, EveryTexelFollowsTheFloorAndWrapRule) {
  for (int32_t phase : {0, 1, 3, 700, 1234, 2100, 123457}) {
    PlasmaPhase = phase;
    UpdatePlasmaTexture();
    int mismatches = 0;
    for (int y = 0; y < 256; ++y) {
      for (int x = 0; x < 256; ++x) {
        const Texel want = ExpectedTexel(ColumnSum(x, phase) + RowSum(y, phase));
        const Texel got = CanvasTexel(x, y);
        if (want.r != got.r || want.g != got.g || want.b != got.b || want.a != got.a) {
          if (++mismatches <= 3) {
            ADD_FAILURE() << "phase " << phase << " pixel (" << x << ", " << y << ") is "
                          << int(got.r) << "/" << int(got.a) << ", want " << int(want.r)
                          << "/" << int(want.a);
          }
        }
      }
    }
    EXPECT_EQ(mismatches, 0) << "phase " << phase;
  }
}

TEST_F(PlasmaTest, OtherCanvasSizesGetWhatSetPixelWouldWrite) {
  texture::CanvasTexture* const saved = Textures.canvas;
  for (const auto& [w, h] : {std::pair{200, 300}, std::pair{300, 100}}) {
    texture::CanvasTexture* canvas = texture::Create(w, h, 4, false);
    texture::CanvasTexture* reference = texture::Create(w, h, 4, false);
    PlasmaPhase = 77;
    for (int x = 0; x < 256; ++x) {
      for (int y = 0; y < 256; ++y) {
        const Texel t = ExpectedTexel(ColumnSum(x, 77) + RowSum(y, 77));
        texture::SetPixelRGBA(reference, x, y, t.r, t.g, t.b, t.a);
      }
    }
    Textures.canvas = canvas;
    UpdatePlasmaTexture();
    Textures.canvas = saved;
    EXPECT_EQ(0, std::memcmp(canvas->Pixels, reference->Pixels, 4 * size_t(w) * h))
        << w << " x " << h;
    texture::Destroy(canvas);
    texture::Destroy(reference);
  }
}

// Finds a phase and pixel whose sum lies in [low, high] (sums are multiples of 10).
bool FindPixel(int32_t low, int32_t high, int32_t& phase, int& x, int& y) {
  for (phase = 0; phase < 720; ++phase) {
    for (x = 0; x < 256; ++x) {
      const int32_t a = ColumnSum(x, phase);
      for (y = 0; y < 256; ++y) {
        const int32_t sum = a + RowSum(y, phase);
        if (sum >= low && sum <= high) return true;
      }
    }
  }
  return false;
}

TEST_F(PlasmaTest, SumsAroundZeroFloorAndWrap) {
  struct Case {
    int32_t low, high;
    int grey, alpha;
    const char* what;
  };
  const Case cases[] = {
      {0, 0, 0, 255, "zero sum: black, opaque"},
      {1020, 1020, 0, 255, "just below one level"},
      {1030, 1030, 1, 254, "just above one level"},
      {-10, -10, 255, 0, "small negative sum floors to -1: bright, clear"},
      {-1020, -1020, 255, 0, "the -1 level's lowest sum"},
      {-1030, -1030, 254, 1, "just below -1 floors to -2"},
      {-120 * 1024, -119 * 1024 - 1, 136, 119, "deep negative sum wraps to bright grey"},
  };
  for (const Case& c : cases) {
    int32_t phase;
    int x, y;
    ASSERT_TRUE(FindPixel(c.low, c.high, phase, x, y)) << c.what;
    PlasmaPhase = phase;
    UpdatePlasmaTexture();
    ExpectTexel(CanvasTexel(x, y), c.grey, c.alpha, c.what);
  }
}

TEST_F(PlasmaTest, UploadedTextureHoldsTheNewPlasma) {
  PlasmaPhase = 42;
  UpdatePlasmaTexture();
  PlasmaPhase = 43;
  UpdatePlasmaTexture();
  std::vector<uint8_t> gpu(256 * 256 * 4);
  glBindTexture(GL_TEXTURE_2D, Textures.canvas->Name);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, gpu.data());
  EXPECT_EQ(0, std::memcmp(gpu.data(), Textures.canvas->Pixels, gpu.size()));
}

TEST_F(PlasmaTest, EachSetUpRunsOnceOnItsFirstFrameWhateverCameBefore) {
  demo::DrawTimelineFrame(35001);
  EXPECT_EQ(ScenePhase, 30);
  EXPECT_EQ(PlasmaPhase, 1);
  EXPECT_DOUBLE_EQ(AngleX, 0.1);
  EXPECT_DOUBLE_EQ(AngleY, 0.1);
  EXPECT_DOUBLE_EQ(AngleZ, 0.1);
  for (int32_t clock = 35016; clock <= 36000; clock += 15) demo::DrawTimelineFrame(clock);
  EXPECT_EQ(PlasmaPhase, 67);

  demo::DrawTimelineFrame(42001);
  EXPECT_EQ(ScenePhase, 32);
  EXPECT_EQ(PlasmaPhase, 701);
  EXPECT_DOUBLE_EQ(AngleX, -59.7);
  EXPECT_DOUBLE_EQ(AngleY, -60);
  EXPECT_DOUBLE_EQ(AngleZ, -59.7);
  demo::DrawTimelineFrame(42016);
  EXPECT_EQ(PlasmaPhase, 702);

  demo::DrawTimelineFrame(49001);
  EXPECT_EQ(ScenePhase, 33);
  EXPECT_EQ(PlasmaPhase, 2101);
  EXPECT_DOUBLE_EQ(AngleX, 19.8);
  EXPECT_DOUBLE_EQ(AngleY, -39.6);
  EXPECT_DOUBLE_EQ(AngleZ, -19.9);
}

TEST_F(PlasmaTest, SkippedWindowsStillLetTheNextSetUpRun) {
  // From the start-up marker straight into the third stretch.
  PlasmaPhase = 5555;
  demo::DrawTimelineFrame(49001);
  EXPECT_EQ(ScenePhase, 33);
  EXPECT_EQ(PlasmaPhase, 2101);

  // From the first stretch straight into the greetings room.
  ScenePhase = 10;
  demo::DrawTimelineFrame(40000);
  EXPECT_EQ(ScenePhase, 30);
  demo::DrawTimelineFrame(56001);
  EXPECT_EQ(ScenePhase, 99);
}

TEST_F(PlasmaTest, LateFramesResetTheFlashCounterForTheNextFlash) {
  struct Case {
    int32_t clock;
    int32_t after;
  };
  for (const Case c : {Case{41000, 7}, Case{41001, 0}, Case{42000, 0}, Case{48000, 7},
                       Case{48001, 0}, Case{49000, 0}, Case{55000, 7}, Case{56000, 7}}) {
    FlashCounter = 7;
    demo::DrawTimelineFrame(c.clock);
    EXPECT_EQ(FlashCounter, c.after) << "clock " << c.clock;
  }
}

}  // namespace
