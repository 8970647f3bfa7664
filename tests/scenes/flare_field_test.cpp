// The flare field: its rows and its tiles' three quads, sent in eye space, which
// must match the same quads drawn with OpenGL's own matrix calls.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
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

// One tile as its own matrix calls, three batches with the turns accumulating: what
// the tile's drawing in eye space must match.
void TileByMatrixCalls(int32_t v, double y) {
  const double P = Progress;
  glLoadIdentity();
  glTranslated(v / 3.0, 0, 0);
  glTranslated(0, y, 0);
  glTranslated(0, 0, -20);
  glRotated(2 * v + P, 0, 0, 1);
  glRotated(v, 0, 0, 1);
  glRotated(PulseIndex2, 0, 0, 1);
  auto quad = [](float alpha, double a, double b, double z) {
    glColor4f(1, 1, 1, alpha);
    glBegin(GL_QUADS);
    glTexCoord2f(1, 1), glVertex3d(-a, -b, z);
    glTexCoord2f(0, 1), glVertex3d(a, -b, z);
    glTexCoord2f(0, 0), glVertex3d(a, b, z);
    glTexCoord2f(1, 0), glVertex3d(-a, b, z);
    glEnd();
  };
  quad(0.8f, 1 - std::fabs(v / 15.0), 1 - std::fabs(v / 10.0), -std::fabs(v / 4.0));
  glRotated(v + P + 0.3, 0, 0, 1);
  quad(0.4f, 1 - std::fabs(v / 20.0), 1 - std::fabs(v / 30.0), (1 - std::fabs(v / 5.0)) + P / 5);
  glRotated(v + P + 0.4, 0, 0, 1);
  quad(0.3f, 1 - std::fabs(v / 50.0), 1 - std::fabs(v / 50.0), (1 - std::fabs(v / 5.0)) + P / 2);
}

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

TEST_F(FlareFieldTest, TilesInEyeSpaceMatchTheirMatrixCalls) {
  Progress = 13.4;
  PulseIndex2 = 1043;
  for (int32_t v : {-30, -20, -10, -1, 0, 2, 8, 15, 19, 30}) {
    for (double y : {0.0, -4.0, 6.0}) {
      SCOPED_TRACE(testing::Message() << "v " << v << " y " << y);
      const auto got = calllog::Drawn([&] { DrawFlareTile(v, y); });
      GLfloat colour[4];
      glGetFloatv(GL_CURRENT_COLOR, colour);
      EXPECT_EQ(colour[3], 0.3f) << "the last quad's colour stays current";
      calllog::ExpectSameVertices(got, calllog::Drawn([&] { TileByMatrixCalls(v, y); }));
    }
  }
}

TEST_F(FlareFieldTest, FieldLooksAsDrawnWithMatrixCalls) {
  Progress = 9.6;
  PulseIndex2 = 1043;
  auto rows = [](void (*tile)(int32_t, double)) {
    const struct { double y; int first, last; } kRows[] = {
        {0, -30, 30}, {2, -20, 19}, {-2, -20, 19}, {4, -15, 15},
        {-4, -15, 15}, {6, -10, 8}, {-6, -10, 8}};
    for (const auto& r : kRows)
      for (int v = r.first; v <= r.last; v += 3) tile(v, r.y);
  };
  testsupport::ExpectSamePicture(testsupport::PictureOfFlares([&] { rows(DrawFlareTile); }),
                                 testsupport::PictureOfFlares([&] { rows(TileByMatrixCalls); }));
}

}  // namespace
