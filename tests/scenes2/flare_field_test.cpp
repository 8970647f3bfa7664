// The flare field: its rows, its tiles' three quads, its set-up and its reset.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <vector>

#include "gl_recorder.h"
#include "scenes/flare_field.h"
#include "scenes/globals.h"
#include "scenes/star_stream.h"
#include "support/scene_fixture.h"

namespace {

using namespace scenes;
using Quad = std::array<recorder::Vertex, 4>;

class FlareFieldTest : public testsupport::SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    ScenePhase = 21;
    PulseIndex2 = 1000;
    SceneClock = 30000;
  }
};

// The quads of tile v at row height 0, in eye space.
std::vector<Quad> RecordTile(int32_t v) {
  recorder::Start();
  DrawFlareTile(v, 0);
  recorder::Stop();
  return recorder::Quads();
}

TEST_F(FlareFieldTest, DrawsEightyFiveTilesOfThreeQuadsInSevenRows) {
  recorder::Start();
  FlareFieldScene();
  recorder::Stop();
  const auto quads = recorder::Quads();
  ASSERT_EQ(quads.size(), 255u);

  // Quad 1 of a tile is centred at (v / 3, y, -20 - |v / 4|): read the column value
  // and the row back from it.
  std::map<int, std::vector<int>> rows;
  std::vector<int> rowOrder;
  for (size_t q = 0; q < quads.size(); q += 3) {
    EXPECT_FLOAT_EQ(quads[q][0].alpha, 0.8f);
    EXPECT_FLOAT_EQ(quads[q + 1][0].alpha, 0.4f);
    EXPECT_FLOAT_EQ(quads[q + 2][0].alpha, 0.3f);
    const recorder::Vertex c = recorder::Centre(quads[q]);
    const int v = static_cast<int>(std::lround(c.x * 3));
    const int y = static_cast<int>(std::lround(c.y));
    EXPECT_NEAR(c.z, -20 - std::abs(v / 4.0), 1e-9);
    if (rowOrder.empty() || rowOrder.back() != y) rowOrder.push_back(y);
    rows[y].push_back(v);
  }
  EXPECT_EQ(rowOrder, (std::vector<int>{0, 2, -2, 4, -4, 6, -6}));

  auto range = [](int first, int last) {
    std::vector<int> v;
    for (int c = first; c <= last; c += 3) v.push_back(c);
    return v;
  };
  EXPECT_EQ(rows[0], range(-30, 30));
  EXPECT_EQ(rows[2], range(-20, 19));
  EXPECT_EQ(rows[-2], range(-20, 19));
  EXPECT_EQ(rows[4], range(-15, 15));
  EXPECT_EQ(rows[-4], range(-15, 15));
  EXPECT_EQ(rows[6], (std::vector<int>{-10, -7, -4, -1, 2, 5, 8}));
  EXPECT_EQ(rows[-6], rows[6]);
}

TEST_F(FlareFieldTest, CentreTileStacksThreeSquaresTurnedByTheirAngles) {
  Progress = 0;
  PulseIndex2 = 90;
  const auto quads = RecordTile(0);
  ASSERT_EQ(quads.size(), 3u);
  // Quad 1: the 2 x 2 square at -20, its first corner (-1, -1) turned by 90 degrees.
  EXPECT_NEAR(quads[0][0].x, 1, 1e-9);
  EXPECT_NEAR(quads[0][0].y, -1, 1e-9);
  EXPECT_NEAR(quads[0][0].z, -20, 1e-9);
  // Quads 2 and 3 one unit nearer, turned further by 0.3 and then 0.4 degrees.
  for (int q = 1; q <= 2; ++q) {
    for (const auto& c : quads[q]) EXPECT_NEAR(c.z, -19, 1e-9);
    const double turn = (90 + (q == 1 ? 0.3 : 0.7)) * std::numbers::pi / 180;
    EXPECT_NEAR(quads[q][0].x, -std::cos(turn) + std::sin(turn), 1e-9) << q;
    EXPECT_NEAR(quads[q][0].y, -std::sin(turn) - std::cos(turn), 1e-9) << q;
  }
}

TEST_F(FlareFieldTest, OuterTilesAreMirroredOrFlatAndFartherAway) {
  PulseIndex2 = 360;
  // v = 30: quad 1 half-sizes (-1, -2), 7.5 units behind the centre tile's.
  const auto far = RecordTile(30);
  double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
  for (const auto& c : far[0]) {
    EXPECT_NEAR(c.z, -27.5, 1e-9);
    minX = std::min(minX, c.x), maxX = std::max(maxX, c.x);
    minY = std::min(minY, c.y), maxY = std::max(maxY, c.y);
  }
  // Turned by 2v + v + 360 = 450 degrees: a quarter turn, so the 2 x 4 quad stands.
  EXPECT_NEAR(maxX - minX, 4, 1e-9);
  EXPECT_NEAR(maxY - minY, 2, 1e-9);
  EXPECT_NEAR((maxX + minX) / 2, 10, 1e-9);
  // Mirrored: its first corner, texture (1, 1), lies at (+1, +2) before the turn.
  EXPECT_NEAR(far[0][0].x, 10 - 2, 1e-9);
  EXPECT_NEAR(far[0][0].y, 1, 1e-9);

  // v = 10: quad 1 has no height; v = 15: no width.
  for (int v : {10, -10, 15, -15}) {
    const auto tile = RecordTile(v);
    const auto& e = tile[0];
    const double ux = e[1].x - e[0].x, uy = e[1].y - e[0].y;
    const double wx = e[3].x - e[0].x, wy = e[3].y - e[0].y;
    EXPECT_NEAR(ux * wy - uy * wx, 0, 1e-9) << v;
  }
}

TEST_F(FlareFieldTest, TwoQuadsDriftTowardsTheViewerFrameByFrame) {
  for (int frame = 0; frame < 10; ++frame) FlareFieldScene();
  EXPECT_NEAR(Progress, 2.0, 1e-12);
  const auto quads = RecordTile(0);
  EXPECT_NEAR(quads[0][0].z, -20, 1e-9);
  EXPECT_NEAR(quads[1][0].z, -19 + 0.4, 1e-9);
  EXPECT_NEAR(quads[2][0].z, -19 + 1.0, 1e-9);
}

TEST_F(FlareFieldTest, SetsUpOnceAndResetsTheFlashCounterAfter34000) {
  Progress = 9;
  FlashCounter = 7;
  SceneClock = 34000;
  FlareFieldScene();
  EXPECT_EQ(ScenePhase, 22);
  EXPECT_DOUBLE_EQ(Progress, 0.2);
  EXPECT_EQ(FlashCounter, 7);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));

  SceneClock = 34001;
  FlareFieldScene();
  EXPECT_DOUBLE_EQ(Progress, 0.4);
  EXPECT_EQ(FlashCounter, 0);
}

}  // namespace
