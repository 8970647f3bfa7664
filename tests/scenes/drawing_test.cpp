// What the star, stream and flare scenes put on screen, drawn offscreen with the
// production's pictures.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "demo/timeline.h"
#include "framework/particle/particle.h"
#include "scenes/globals.h"
#include "scenes/star_stream.h"
#include "support/scene_fixture.h"

namespace {

using namespace scenes;
using testsupport::Rgba;

constexpr int W = testsupport::OffscreenGLTest::Width;
constexpr int H = testsupport::OffscreenGLTest::Height;

// Pixels within margin of the frame's edge, well clear of the star in the middle.
std::vector<Rgba> Border(int margin) {
  const std::vector<Rgba> frame = testsupport::ReadFrame(W, H);
  std::vector<Rgba> border;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      if (x < margin || x >= W - margin || y < margin || y >= H - margin) {
        border.push_back(frame[y * W + x]);
      }
    }
  }
  return border;
}

bool Black(const Rgba& p) { return p.r == 0 && p.g == 0 && p.b == 0; }

// The stream far away along the room's x axis, out of sight.
void ParkStream() {
  for (int i = 1; i <= 400; ++i) {
    ParticlePool->Particles[i] = particle::Particle{1000, 0, 0, 0, 1, 1, 0, 0, 0};
  }
}

class StarStreamDrawingTest : public testsupport::SceneTest {};

TEST_F(StarStreamDrawingTest, FirstRoomIsAFaintTexturedWallAllAround) {
  ScenePhase = 12;
  SceneClock = 16000;
  StarStreamScene1();
  ParkStream();
  StarStreamScene1();
  const std::vector<Rgba> border = Border(20);
  // Drawn at alpha 0.2, no wall texel can add more than 51.
  int lit = 0;
  for (const Rgba& p : border) {
    ASSERT_LE(std::max({p.r, p.g, p.b}), 52);
    if (!Black(p)) ++lit;
  }
  EXPECT_GT(lit, static_cast<int>(border.size()) / 2);
}

TEST_F(StarStreamDrawingTest, SecondRoomIsOnlyWhiteEdges) {
  ScenePhase = 12;
  SceneClock = 16000;
  StarStreamScene1();
  ParkStream();
  SceneClock = 24000;
  StarStreamScene2();
  const std::vector<Rgba> border = Border(20);
  int lit = 0;
  for (const Rgba& p : border) {
    ASSERT_TRUE(p.r == p.g && p.g == p.b);
    if (!Black(p)) ++lit;
  }
  // A few lines cross the border; a textured wall would fill it.
  EXPECT_GT(lit, 0);
  EXPECT_LT(lit, static_cast<int>(border.size()) / 10);
}

// In 16-bit colour every blend rounds to 5 or 6 bits, so the order of the additive
// passes shows (most in a faint star, far from saturation): the star must match its
// spikes drawn each filled, then wired.
TEST_F(StarStreamDrawingTest, SixteenBitStarIsItsSpikesFilledThenWiredPairByPair) {
  PulseRadius1 = 1.3;
  PulseRadius2 = 0.8;
  testsupport::HighColorFrame highColor(W, H);
  auto pose = [] {
    glLoadIdentity();
    glTranslated(0, 0, -12);
    glRotated(30, 1, 0, 0);
    glRotated(40, 0, 1, 0);
  };
  pose();
  DrawSpikeStar(0.05f, 0.13f);
  const std::vector<Rgba> star = testsupport::ReadFrame(W, H);

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  pose();
  auto pair = [] {
    glColor4f(1, 1, 1, 0.05f);
    glPolygonMode(GL_FRONT, GL_FILL);
    glPolygonMode(GL_BACK, GL_LINE);
    DrawSpike();
    glColor4f(1, 1, 1, 0.13f);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    DrawSpike();
  };
  for (int k = 0; k < 4; ++k) pair(), glRotated(90, 1, 0, 0);
  glRotated(90, 0, 1, 0);
  pair();
  glRotated(180, 0, 1, 0);
  pair();
  const std::vector<Rgba> pairs = testsupport::ReadFrame(W, H);

  int lit = 0, differing = 0;
  for (size_t i = 0; i < star.size(); ++i) {
    lit += !Black(pairs[i]);
    differing += star[i].r != pairs[i].r || star[i].g != pairs[i].g || star[i].b != pairs[i].b;
  }
  EXPECT_GT(lit, 1000);
  EXPECT_EQ(differing, 0);
}

TEST_F(StarStreamDrawingTest, EachFlashAfterTheseScenesStartsFullyWhite) {
  // Every 15 ms frame of the last second before each flash, with the counter left
  // high by earlier overlays.
  for (int32_t flash : {21001, 28001, 35001}) {
    ScenePhase = flash == 21001 ? 10 : (flash == 28001 ? 20 : 21);
    if (flash == 21001) testsupport::RunFramesUpTo(14235);  // the set-up and its state
    FlashCounter = 50;
    for (int32_t t = flash - 1001; t < flash; t += 15) demo::DrawTimelineFrame(t);
    demo::DrawTimelineFrame(flash);
    const std::vector<Rgba> frame = testsupport::ReadFrame(W, H);
    for (const Rgba& p : frame) {
      ASSERT_TRUE(p.r == 255 && p.g == 255 && p.b == 255) << "flash at " << flash;
    }
  }
}

}  // namespace
