// The flare field: its rows and its tiles' three quads.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "support/call_log.h"
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
    PulseIndex2 = 90;
    SceneClock = 30000;
  }
};

std::vector<int> Columns(int first, int last) {
  std::vector<int> v;
  for (int c = first; c <= last; c += 3) v.push_back(c);
  return v;
}

TEST_F(FlareFieldTest, DrawsEightyFiveTilesOfThreeQuadsInSevenRows) {
  calllog::Start();
  FlareFieldScene();
  calllog::Stop();
  const auto quads = calllog::Quads();
  ASSERT_EQ(quads.size(), 255u);

  // Quad 1 of a tile is centred at (v / 3, y, -20 - |v / 4|): read v and y back.
  std::map<int, std::vector<int>> rows;
  std::vector<int> rowOrder;
  for (size_t q = 0; q < quads.size(); q += 3) {
    EXPECT_FLOAT_EQ(quads[q][0].colour[3], 0.8f);
    EXPECT_FLOAT_EQ(quads[q + 1][0].colour[3], 0.4f);
    EXPECT_FLOAT_EQ(quads[q + 2][0].colour[3], 0.3f);
    const calllog::Vertex c = calllog::Centre(quads[q]);
    const int v = static_cast<int>(std::lround(c.eye[0] * 3));
    const int y = static_cast<int>(std::lround(c.eye[1]));
    EXPECT_NEAR(c.eye[2], -20 - std::abs(v / 4.0), 1e-9);
    if (rowOrder.empty() || rowOrder.back() != y) rowOrder.push_back(y);
    rows[y].push_back(v);
  }
  EXPECT_EQ(rowOrder, (std::vector<int>{0, 2, -2, 4, -4, 6, -6}));
  EXPECT_EQ(rows[0], Columns(-30, 30));
  EXPECT_EQ(rows[2], Columns(-20, 19));
  EXPECT_EQ(rows[-2], Columns(-20, 19));
  EXPECT_EQ(rows[4], Columns(-15, 15));
  EXPECT_EQ(rows[-4], Columns(-15, 15));
  EXPECT_EQ(rows[6], Columns(-10, 8));
  EXPECT_EQ(rows[-6], Columns(-10, 8));
}

TEST_F(FlareFieldTest, TileQuadsTurnFurtherAndTwoDriftTowardsTheViewer) {
  FlareFieldScene();  // the set-up: Progress 0, then 0.2
  Progress = 0;
  calllog::Start();
  DrawFlareTile(0, 0);
  DrawFlareTile(30, 0);
  calllog::Stop();
  const auto quads = calllog::Quads();
  ASSERT_EQ(quads.size(), 6u);
  // v = 0: quad 1, the 2 x 2 square at -20, its first corner (-1, -1) turned by
  // PulseIndex2 = 90 degrees; quads 2 and 3 at -19, turned further by 0.3 and 0.4.
  EXPECT_NEAR(quads[0][0].eye[0], 1, 1e-9);
  EXPECT_NEAR(quads[0][0].eye[1], -1, 1e-9);
  EXPECT_NEAR(quads[0][0].eye[2], -20, 1e-9);
  for (int q = 1; q <= 2; ++q) {
    const double turn = (90 + (q == 1 ? 0.3 : 0.7)) * M_PI / 180;
    EXPECT_NEAR(quads[q][0].eye[0], -std::cos(turn) + std::sin(turn), 1e-9) << q;
    EXPECT_NEAR(quads[q][0].eye[1], -std::sin(turn) - std::cos(turn), 1e-9) << q;
    EXPECT_NEAR(quads[q][0].eye[2], -19, 1e-9) << q;
  }
  // v = 30: quad 1 mirrored (half-sizes -1, -2) and turned by 60 + 30 + 90 degrees,
  // so its first corner, (1, 2) before the turn, lies at (10 - 1, -2).
  EXPECT_NEAR(quads[3][0].eye[0], 9, 1e-9);
  EXPECT_NEAR(quads[3][0].eye[1], -2, 1e-9);
  EXPECT_NEAR(quads[3][0].eye[2], -27.5, 1e-9);

  for (int frame = 0; frame < 10; ++frame) FlareFieldScene();
  calllog::Start();
  DrawFlareTile(0, 0);
  calllog::Stop();
  const auto later = calllog::Quads();
  EXPECT_NEAR(later[0][0].eye[2], -20, 1e-9);
  EXPECT_NEAR(later[1][0].eye[2], -19 + 0.4, 1e-9);
  EXPECT_NEAR(later[2][0].eye[2], -19 + 1.0, 1e-9);
}

}  // namespace
