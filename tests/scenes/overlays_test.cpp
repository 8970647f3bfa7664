// The white overlays over a painted frame: what each counter value adds, and how each
// overlay steps the counter.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <vector>

#include "made_textures.h"
#include "scenes/globals.h"
#include "scenes/overlays.h"
#include "support/call_log.h"
#include "support/gl_fixture.h"

namespace {

using testsupport::ReadFrame;
using testsupport::Rgba;

class Overlay : public testsupport::OffscreenGLTest {
 protected:
  // Fills the frame with one colour, as a scene would have drawn it.
  void Paint(float r, float g, float b) {
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  }

  std::vector<Rgba> Frame() { return ReadFrame(Width, Height); }

  static int NotWhite(const std::vector<Rgba>& frame) {
    return scenetest::CountPixels(frame,
                                    [](Rgba p) { return p.r != 255 || p.g != 255 || p.b != 255; });
  }
  static int Differing(const std::vector<Rgba>& a, const std::vector<Rgba>& b) {
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      n += a[i].r != b[i].r || a[i].g != b[i].g || a[i].b != b[i].b;
    }
    return n;
  }
};

TEST_F(Overlay, FlashStartsWhiteAndFadesToNothingAfterTwentyFrames) {
  Paint(0.2f, 0.4f, 0.6f);
  scenes::FlashCounter = 0;
  scenes::FlashOverlay();
  EXPECT_EQ(NotWhite(Frame()), 0);
  EXPECT_EQ(scenes::FlashCounter, 1);

  for (int counter : {20, 40}) {
    Paint(0.2f, 0.4f, 0.6f);
    std::vector<Rgba> before = Frame();
    scenes::FlashCounter = counter;
    scenes::FlashOverlay();
    EXPECT_EQ(Differing(before, Frame()), 0) << "counter " << counter;
    EXPECT_EQ(scenes::FlashCounter, counter + 1);
  }
}

TEST_F(Overlay, FlashHalfwayAddsHalfWhite) {
  scenes::FlashCounter = 10;
  scenes::FlashOverlay();
  for (Rgba p : Frame()) ASSERT_NEAR(p.g, 128, 1);
}

TEST_F(Overlay, FadeToWhiteIsExactlyWhitePastThirtyFrames) {
  Paint(0.8f, 0.4f, 0.2f);
  scenes::FlashCounter = 45;
  scenes::FadeToWhite();
  EXPECT_EQ(NotWhite(Frame()), 0);
  EXPECT_EQ(scenes::FlashCounter, 46);
}

TEST_F(Overlay, FadeToWhiteAddsCounterThirtiethsOfWhite) {
  Paint(0.2f, 0.4f, 0.6f);
  std::vector<Rgba> before = Frame();
  scenes::FlashCounter = 0;
  scenes::FadeToWhite();
  EXPECT_EQ(Differing(before, Frame()), 0);
  EXPECT_EQ(scenes::FlashCounter, 1);

  Paint(0.0f, 0.0f, 0.0f);
  scenes::FlashCounter = 15;
  scenes::FadeToWhite();
  for (Rgba p : Frame()) ASSERT_NEAR(p.b, 128, 1);
  EXPECT_EQ(scenes::FlashCounter, 16);
}

TEST_F(Overlay, FadeFromWhiteCountsDownAndNeverDarkens) {
  Paint(0.0f, 0.0f, 0.0f);
  scenes::FlashCounter = 15;
  scenes::FadeFromWhite();
  for (Rgba p : Frame()) ASSERT_NEAR(p.r, 128, 1);
  EXPECT_EQ(scenes::FlashCounter, 14);

  // Past zero the alpha is negative and clamps to nothing.
  Paint(0.5f, 0.5f, 0.5f);
  std::vector<Rgba> before = Frame();
  scenes::FlashCounter = -5;
  scenes::FadeFromWhite();
  EXPECT_EQ(Differing(before, Frame()), 0);
  EXPECT_EQ(scenes::FlashCounter, -6);
}

// Alphas are the nearest single-precision values of the formulas' results.
TEST_F(Overlay, AlphasAreTheNearestFloatsOfTheirCounterFractions) {
  for (int32_t counter = 0; counter <= 40; ++counter) {
    scenes::FlashCounter = counter;
    const auto flash = calllog::Drawn(scenes::FlashOverlay);
    ASSERT_EQ(flash.size(), 4u);
    EXPECT_EQ(flash[0].colour[3], static_cast<float>(1.0L - counter / 20.0L)) << counter;
    scenes::FlashCounter = counter;
    EXPECT_EQ(calllog::Drawn(scenes::FadeToWhite)[0].colour[3],
              static_cast<float>(counter / 30.0L)) << counter;
    scenes::FlashCounter = counter;
    EXPECT_EQ(calllog::Drawn(scenes::FadeFromWhite)[0].colour[3],
              static_cast<float>(counter / 30.0L)) << counter;
  }
}

}  // namespace
