// The checker-stack scenes on the offscreen fixture, with textures of their own lent
// to the picture slots: set-up markers, per-frame motion, the stack's squares and
// the two halves of the intro picture.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>
#include <vector>

#include "demo/startup.h"
#include "demo/timeline.h"
#include "made_textures.h"
#include "scenes/checker_stack.h"
#include "scenes/globals.h"
#include "support/call_log.h"
#include "support/gl_fixture.h"

namespace {

using scenetest::Rgb;
using testsupport::ReadFrame;
using testsupport::ReadPixel;
using testsupport::Rgba;

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kGrey{20, 20, 20};

class CheckerStack : public testsupport::OffscreenGLTest {
 protected:
  void SetUp() override {
    OffscreenGLTest::SetUp();
    demo::ResetSceneGlobals();
    scenes::Progress = 0.0;
    scenes::Textures.checkers = lent_.Flat(kGrey);
    scenes::Textures.intro1 = lent_.Flat(kBlack);
  }

  // intro1 as four quarters: upper rows (t < 0.5) green | blue, lower rows red | yellow.
  void LendQuarteredIntro() {
    const Rgb g{0, 200, 0}, b{0, 0, 200}, r{200, 0, 0}, y{200, 200, 0};
    scenes::Textures.intro1 = lent_.Make(4, 4, {g, g, b, b, g, g, b, b, r, r, y, y, r, r, y, y});
  }

  std::vector<Rgba> Frame() { return ReadFrame(Width, Height); }

  scenetest::LentTextures lent_;
};

TEST_F(CheckerStack, SceneOneOnlyTurnsTheStack) {
  scenes::Progress = 2.0;
  scenes::FlashCounter = 3;
  scenes::CheckerStackScene1();
  scenes::CheckerStackScene1();
  EXPECT_DOUBLE_EQ(scenes::SpinAngle, 0.12);
  EXPECT_EQ(scenes::ScenePhase, 10);
  EXPECT_EQ(scenes::Progress, 2.0);
  EXPECT_EQ(scenes::FlashCounter, 3);
}

TEST_F(CheckerStack, SceneTwoSetsUpOnceWhenItFindsPhaseTen) {
  scenes::SpinAngle = 3.0;
  scenes::CheckerStackScene2();
  EXPECT_EQ(scenes::ScenePhase, 11);
  EXPECT_DOUBLE_EQ(scenes::SpinAngle, 50.06);
  scenes::CheckerStackScene2();
  EXPECT_EQ(scenes::ScenePhase, 11);
  EXPECT_DOUBLE_EQ(scenes::SpinAngle, 50.12);
}

TEST_F(CheckerStack, SceneTwoContinuesTheAngleWhenItFindsAnotherPhase) {
  for (int phase : {9, 11, 12}) {
    scenes::ScenePhase = phase;
    scenes::SpinAngle = 7.0;
    scenes::CheckerStackScene2();
    EXPECT_EQ(scenes::ScenePhase, phase);
    EXPECT_DOUBLE_EQ(scenes::SpinAngle, 7.06);
  }
}

TEST_F(CheckerStack, SceneThreeSetsUpOnceWhenItFindsPhaseEleven) {
  scenes::ScenePhase = 11;
  scenes::SpinAngle = 5.0;
  scenes::Progress = 3.0;
  scenes::CheckerStackScene3();
  EXPECT_EQ(scenes::ScenePhase, 12);
  EXPECT_DOUBLE_EQ(scenes::SpinAngle, -59.75);
  EXPECT_DOUBLE_EQ(scenes::Progress, 0.04);
  scenes::CheckerStackScene3();
  EXPECT_EQ(scenes::ScenePhase, 12);
  EXPECT_DOUBLE_EQ(scenes::SpinAngle, -59.5);
  EXPECT_DOUBLE_EQ(scenes::Progress, 0.08);

  for (int phase : {10, 12}) {
    scenes::ScenePhase = phase;
    scenes::SpinAngle = 5.0;
    scenes::Progress = 3.0;
    scenes::CheckerStackScene3();
    EXPECT_EQ(scenes::ScenePhase, phase);
    EXPECT_DOUBLE_EQ(scenes::SpinAngle, 5.25);
    EXPECT_DOUBLE_EQ(scenes::Progress, 3.04);
  }
}

// The first 14230 ms at the driver's 15 ms pacing: 250 frames of scene 1, 234 of
// scene 2, 465 of scene 3, the last 80 of them faded.
TEST_F(CheckerStack, TimelineHandsTheAngleOnAndFadesToWhite) {
  int32_t t = 0;
  auto runTo = [&t](int32_t last) {
    for (; t <= last; t += 15) demo::DrawTimelineFrame(t);
  };
  runTo(3735);
  EXPECT_NEAR(scenes::SpinAngle, 15.0, 1e-9);
  EXPECT_EQ(scenes::ScenePhase, 10);
  runTo(3750);
  EXPECT_EQ(scenes::ScenePhase, 11);
  EXPECT_DOUBLE_EQ(scenes::SpinAngle, 50.06);
  runTo(7245);
  EXPECT_NEAR(scenes::SpinAngle, 64.04, 1e-9);
  runTo(7260);
  EXPECT_EQ(scenes::ScenePhase, 12);
  EXPECT_DOUBLE_EQ(scenes::SpinAngle, -59.75);
  EXPECT_DOUBLE_EQ(scenes::Progress, 0.04);
  runTo(13020);
  EXPECT_EQ(scenes::FlashCounter, 0);
  runTo(14230);
  EXPECT_NEAR(scenes::SpinAngle, 56.25, 1e-9);
  EXPECT_NEAR(scenes::Progress, 18.6, 1e-9);
  EXPECT_EQ(scenes::FlashCounter, 80);
  EXPECT_EQ(scenetest::CountPixels(Frame(), [](Rgba p) {
              return p.r != 255 || p.g != 255 || p.b != 255;
            }),
            0);

  // The driver's fixed state is as it was; texturing is off again.
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  GLint src = 0, dst = 0, mode = 0;
  glGetIntegerv(GL_BLEND_SRC, &src);
  glGetIntegerv(GL_BLEND_DST, &dst);
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(src, GL_SRC_ALPHA);
  EXPECT_EQ(dst, GL_ONE);
  EXPECT_EQ(mode, GL_MODELVIEW);
}

// Unturned, 30 units away: on the middle row the outermost columns lie only in the
// largest square (i = 10), the next ones in square 9 but not in square 8.
TEST_F(CheckerStack, LargestSquareAddsNothing) {
  scenes::Textures.checkers = lent_.Flat(kWhite);
  scenes::CheckerStackScene1();
  for (int x : {0, 5, 9, 150, 155, 159}) {
    Rgba p = ReadPixel(x, Height / 2);
    EXPECT_EQ(p.r + p.g + p.b, 0) << "x " << x;
  }
  for (int x : {12, 15, 18, 141, 144, 147}) {
    Rgba p = ReadPixel(x, Height / 2);
    EXPECT_NEAR(p.g, 26, 1) << "x " << x;  // square 9 alone: alpha 0.1
  }
}

// Unturned, each square shows the checkers picture once, mirrored: texture (0, 0) at
// its upper right corner, (1, 1) at its lower left. The squares share their centre, so
// each quarter of the screen shows one quarter of the picture.
TEST_F(CheckerStack, SquaresMapThePictureOnceMirrored) {
  const Rgb r{40, 0, 0}, g{0, 40, 0}, b{0, 0, 40}, w{40, 40, 40};
  // Upper rows (t < 0.5): red | green; lower rows: blue | grey.
  scenes::Textures.checkers = lent_.Make(2, 2, {r, g, b, w});
  scenes::CheckerStackScene1();
  auto rgb = [](int x, int y) {
    Rgba p = ReadPixel(x, y);
    return std::vector<bool>{p.r > 0, p.g > 0, p.b > 0};
  };
  EXPECT_EQ(rgb(120, 90), (std::vector<bool>{true, false, false}));  // upper right
  EXPECT_EQ(rgb(40, 90), (std::vector<bool>{false, true, false}));   // upper left
  EXPECT_EQ(rgb(120, 30), (std::vector<bool>{false, false, true}));  // lower right
  EXPECT_EQ(rgb(40, 30), (std::vector<bool>{true, true, true}));     // lower left

  // Half a turn about z and then about y is half a turn about x: the stack stands
  // upside down and reaches away from the viewer, so it covers less of the screen.
  scenes::SpinAngle = 180.0;
  scenes::CheckerStackScene1();
  EXPECT_EQ(rgb(100, 45), (std::vector<bool>{true, false, false}));  // lower right
  EXPECT_EQ(rgb(60, 45), (std::vector<bool>{false, true, false}));   // lower left
  EXPECT_EQ(rgb(100, 75), (std::vector<bool>{false, false, true}));  // upper right
  EXPECT_EQ(rgb(60, 75), (std::vector<bool>{true, true, true}));     // upper left
  EXPECT_EQ(rgb(125, 60), (std::vector<bool>{false, false, false}));
}

// Every square contains the stack's centre: 20 times alphas 1, 0.9, ..., 0 adds to 110.
// Scene 2 asks for red 1.5, which OpenGL clamps to 1.
TEST_F(CheckerStack, SquaresAddUpWhereTheyOverlap) {
  scenes::CheckerStackScene1();
  Rgba centre = ReadPixel(Width / 2, Height / 2);
  EXPECT_NEAR(centre.g, 110, 3);
  EXPECT_EQ(centre.r, centre.g);

  // Unturned, scene 2's stack is centred at the lower left (about pixel 45, 42).
  scenes::ScenePhase = 11;
  scenes::SpinAngle = 0.0;
  scenes::CheckerStackScene2();
  Rgba lowerLeft = ReadPixel(45, 42);
  EXPECT_NEAR(lowerLeft.g, 110, 3);
  EXPECT_EQ(lowerLeft.r, lowerLeft.g);
  EXPECT_LT(ReadPixel(Width - 1 - 45, Height - 1 - 42).g, lowerLeft.g);
}

TEST_F(CheckerStack, SceneThreeSlidesFromTheRightThroughTheMiddle) {
  scenes::ScenePhase = 12;
  scenes::SpinAngle = 0.0;
  scenes::CheckerStackScene3();
  std::vector<Rgba> frame = Frame();
  long left = 0, right = 0;
  for (int y = 0; y < Height; ++y) {
    for (int x = 0; x < Width / 2; ++x) {
      left += frame[y * Width + x].g;
      right += frame[y * Width + Width - 1 - x].g;
    }
  }
  EXPECT_GT(right, 2 * left);

  // After 200 frames the stack's centre is on the view axis (2 units below it): the
  // frame is symmetric, and all eleven squares overlap below the middle.
  scenes::SpinAngle = 0.0;
  scenes::Progress = 8.0;
  scenes::CheckerStackScene3();
  frame = Frame();
  EXPECT_NEAR(ReadPixel(Width / 2, 40).g, 110, 3);
  int asymmetric = 0;
  for (int y = 0; y < Height; ++y) {
    for (int x = 0; x < Width / 2; ++x) {
      asymmetric += std::abs(frame[y * Width + x].g - frame[y * Width + Width - 1 - x].g) > 1;
    }
  }
  EXPECT_EQ(asymmetric, 0);
}

// Scene 2's picture lands at the lower right (s = 0.5 near column 120), scene 3's at
// the upper left (s = 0.5 near column 33).
TEST_F(CheckerStack, PictureQuadsShowOnlyTheirHalf) {
  LendQuarteredIntro();
  scenes::Textures.checkers = lent_.Flat(kBlack);

  scenes::CheckerStackScene2();
  std::vector<Rgba> frame = Frame();
  Rgba p = ReadPixel(100, 15);
  EXPECT_EQ((std::vector<int>{p.r, p.g, p.b}), (std::vector<int>{0, 200, 0}));
  p = ReadPixel(140, 15);
  EXPECT_EQ((std::vector<int>{p.r, p.g, p.b}), (std::vector<int>{0, 0, 200}));
  EXPECT_EQ(scenetest::CountPixels(frame, [](Rgba q) { return q.r > 0; }), 0);

  scenes::CheckerStackScene3();
  frame = Frame();
  p = ReadPixel(15, 100);
  EXPECT_EQ((std::vector<int>{p.r, p.g, p.b}), (std::vector<int>{200, 0, 0}));
  p = ReadPixel(55, 100);
  EXPECT_EQ((std::vector<int>{p.r, p.g, p.b}), (std::vector<int>{200, 200, 0}));
  EXPECT_EQ(
      scenetest::CountPixels(frame, [](Rgba q) { return q.b > 0 || (q.g > 0 && q.r == 0); }), 0);
}

// Alphas are the nearest single-precision values of 1 - i / 10; square 10, whose alpha
// is 0, adds nothing and is not sent.
TEST_F(CheckerStack, SquareAlphasAreTheNearestFloats) {
  const auto stack = calllog::Drawn([] { scenes::DrawCheckerStack(1.0f); });
  ASSERT_EQ(stack.size(), 40u);
  for (int i = 0; i <= 9; ++i) {
    EXPECT_EQ(stack[4 * i].colour[3], static_cast<float>(1.0L - i / 10.0L)) << i;
  }
}

}  // namespace
