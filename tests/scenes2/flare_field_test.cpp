// The flare field: its rows, its tiles' three quads, its set-up and its reset.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "gl_recorder.h"
#include "scenes/flare_field.h"
#include "scenes/globals.h"
#include "scenes/star_stream.h"
#include "support/scene_fixture.h"

namespace {

using namespace scenes;

class FlareFieldTest : public testsupport::SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    ScenePhase = 21;
    PulseIndex2 = 1000;
    SceneClock = 30000;
  }
};

std::vector<recorder::Batch> RecordScene() {
  recorder::Start();
  FlareFieldScene();
  recorder::Stop();
  return recorder::Batches();
}

TEST_F(FlareFieldTest, DrawsEightyFiveTilesInSevenRows) {
  const auto batches = RecordScene();
  ASSERT_EQ(batches.size(), 255u);
  for (const auto& b : batches) {
    ASSERT_EQ(b.mode, static_cast<GLenum>(GL_QUADS));
    ASSERT_EQ(b.eye.size(), 4u);
  }
  // Every tile is translated to (v / 3, y, -20) before its turns; read the column
  // value back from the first quad of each tile.
  std::map<int, std::vector<int>> rows;
  std::vector<int> rowOrder;
  for (size_t q = 0; q < batches.size(); q += 3) {
    const auto& m = batches[q].modelview;
    ASSERT_NEAR(m[14], -20, 1e-5);
    const int y = static_cast<int>(std::lround(m[13]));
    if (rowOrder.empty() || rowOrder.back() != y) rowOrder.push_back(y);
    rows[y].push_back(static_cast<int>(std::lround(m[12] * 3)));
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

// Eye-space corners of tile v's three quads as drawn by DrawFlareTile.
std::vector<recorder::Batch> RecordTile(int32_t v) {
  recorder::Start();
  DrawFlareTile(v, 0);
  recorder::Stop();
  return recorder::Batches();
}

TEST_F(FlareFieldTest, CentreTileStacksThreeSquaresTurnedByTheirAngles) {
  Progress = 0;
  PulseIndex2 = 90;
  const auto quads = RecordTile(0);
  ASSERT_EQ(quads.size(), 3u);
  // Quad 1: the 2 x 2 square at -20, its first corner (-1, -1) turned by 90 degrees.
  EXPECT_NEAR(quads[0].eye[0].x, 1, 1e-5);
  EXPECT_NEAR(quads[0].eye[0].y, -1, 1e-5);
  EXPECT_NEAR(quads[0].eye[0].z, -20, 1e-5);
  // Quads 2 and 3 one unit nearer, turned further by 0.3 and then 0.4 degrees.
  for (int q = 1; q <= 2; ++q) {
    for (const auto& c : quads[q].eye) EXPECT_NEAR(c.z, -19, 1e-5);
    const double turn = (90 + (q == 1 ? 0.3 : 0.7)) * M_PI / 180;
    EXPECT_NEAR(quads[q].eye[0].x, -std::cos(turn) + std::sin(turn), 1e-5) << q;
    EXPECT_NEAR(quads[q].eye[0].y, -std::sin(turn) - std::cos(turn), 1e-5) << q;
  }
}

TEST_F(FlareFieldTest, OuterTilesAreMirroredOrFlatAndFartherAway) {
  PulseIndex2 = 360;
  // v = 30: quad 1 half-sizes (-1, -2), 7.5 units behind the centre tile's.
  const auto far = RecordTile(30);
  double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
  for (const auto& c : far[0].eye) {
    EXPECT_NEAR(c.z, -27.5, 1e-5);
    minX = std::min(minX, c.x), maxX = std::max(maxX, c.x);
    minY = std::min(minY, c.y), maxY = std::max(maxY, c.y);
  }
  // Turned by 2v + v + 360 = 450 degrees: a quarter turn, so the 2 x 4 quad stands.
  EXPECT_NEAR(maxX - minX, 4, 1e-6);
  EXPECT_NEAR(maxY - minY, 2, 1e-6);
  EXPECT_NEAR((maxX + minX) / 2, 10, 1e-6);

  // v = 10: quad 1 has no height; v = 15: no width.
  for (int v : {10, -10, 15, -15}) {
    const auto tile = RecordTile(v);
    const auto& e = tile[0].eye;
    const double ux = e[1].x - e[0].x, uy = e[1].y - e[0].y;
    const double wx = e[3].x - e[0].x, wy = e[3].y - e[0].y;
    EXPECT_NEAR(ux * wy - uy * wx, 0, 1e-5) << v;
  }
}

TEST_F(FlareFieldTest, TwoQuadsDriftTowardsTheViewerFrameByFrame) {
  for (int frame = 0; frame < 10; ++frame) FlareFieldScene();
  EXPECT_DOUBLE_EQ(Progress, 2.0);
  const auto quads = RecordTile(0);
  EXPECT_NEAR(quads[0].eye[0].z, -20, 1e-5);
  EXPECT_NEAR(quads[1].eye[0].z, -19 + 0.4, 1e-5);
  EXPECT_NEAR(quads[2].eye[0].z, -19 + 1.0, 1e-5);
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
