// The spike star, the particle stream and the two star scenes.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "framework/particle/particle.h"
#include "framework/particle/random.h"
#include "gl_recorder.h"
#include "scenes/globals.h"
#include "scenes/star_stream.h"
#include "support/scene_fixture.h"

namespace {

using particle::Particle;
using namespace scenes;

struct Vec3 {
  double x, y, z;
};

Particle& Record(int i) { return ParticlePool->Particles[i]; }

// Every stream record far beyond the emission point and standing still, so a test
// sees only the records it sets up.
void ParkStream() {
  for (int i = 1; i <= 400; ++i) Record(i) = Particle{1000, 0, 0, 0, 1, 1, 0, 0, 0};
}

void SetRecord(int i, double x, double speed, int signY, int signZ) {
  Record(i) = Particle{x, 0.5, -1.0, 0, signY, signZ, speed, 0, 0};
}

std::array<GLint, 2> PolygonModes() {
  std::array<GLint, 2> modes{};
  glGetIntegerv(GL_POLYGON_MODE, modes.data());
  return modes;
}

class StarStreamTest : public testsupport::SceneTest {};

TEST_F(StarStreamTest, StreamSpreadsOnlyInsideTheZoneAndNotAtIndexZero) {
  ParkStream();
  SetRecord(1, 13.25, 0.25, 1, -1);   // lands on 13: in the zone, n = 260
  SetRecord(2, 0.25, 0.25, 1, 1);     // lands on 0: outside
  SetRecord(3, 0.29, 0.25, 1, 1);     // lands on 0.04: inside, n = 0
  SetRecord(4, 6.75, 0.25, -1, 1);    // lands on 6.5: n = 130
  SetRecord(5, 13.5, 0.25, 1, 1);     // lands on 13.25: outside

  AdvanceStream();

  EXPECT_EQ(Record(1).X, 13.0);
  EXPECT_DOUBLE_EQ(Record(1).Y, 0.5 + CosTable[260] / 12);
  EXPECT_DOUBLE_EQ(Record(1).Z, -1.0 - CosTable[260] / 12);
  EXPECT_EQ(Record(2).X, 0.0);
  EXPECT_EQ(Record(2).Y, 0.5);
  EXPECT_EQ(Record(2).Z, -1.0);
  EXPECT_NEAR(Record(3).X, 0.04, 1e-9);
  EXPECT_EQ(Record(3).Y, 0.5);
  EXPECT_EQ(Record(3).Z, -1.0);
  EXPECT_DOUBLE_EQ(Record(4).Y, 0.5 - CosTable[130] / 12);
  EXPECT_DOUBLE_EQ(Record(4).Z, -1.0 + CosTable[130] / 12);
  EXPECT_EQ(Record(5).Y, 0.5);
}

TEST_F(StarStreamTest, StreamReemitsOnlyBeyondMinusTwentyWithTheRulesDraws) {
  ParkStream();
  SetRecord(1, -19.75, 0.25, 1, 1);  // lands on -20: stays
  SetRecord(2, -19.85, 0.25, 1, 1);  // lands on -20.1: emitted again at 20

  particle::SeedRandom(77);
  Particle expected{};
  particle::EmitParticle(expected, 20);
  const int32_t nextDraw = particle::Random(1000000);
  particle::SeedRandom(77);
  AdvanceStream();

  EXPECT_EQ(Record(1).X, -20.0);
  EXPECT_EQ(Record(1).Y, 0.5);
  EXPECT_EQ(Record(2).X, 20.0);
  EXPECT_EQ(Record(2).Y, expected.Y);
  EXPECT_EQ(Record(2).Z, expected.Z);
  EXPECT_EQ(Record(2).SignY, expected.SignY);
  EXPECT_EQ(Record(2).SignZ, expected.SignZ);
  EXPECT_EQ(Record(2).Speed, expected.Speed);
  // Exactly the rule's draws, nothing more.
  EXPECT_EQ(particle::Random(1000000), nextDraw);
}

TEST_F(StarStreamTest, PulseIndicesSkipTheNegativeCosineAndWrap) {
  auto steps = [](int32_t start, int count) {
    PulseIndex1 = start;
    std::vector<int32_t> seen;
    for (int k = 0; k < count; ++k) {
      AdvancePulse();
      seen.push_back(PulseIndex1);
    }
    return seen;
  };
  PulseIndex2 = 1;
  EXPECT_EQ(steps(319, 2), (std::vector<int32_t>{321, 943}));
  EXPECT_EQ(steps(1273, 2), (std::vector<int32_t>{1275, 1}));

  // The radius is read before the step: at 321, not at the 943 it jumps to.
  PulseIndex1 = 321;
  AdvancePulse();
  EXPECT_EQ(PulseRadius1, CosTable[321] / 2 + 0.5);

  PulseIndex2 = 1274;
  AdvancePulse();
  EXPECT_EQ(PulseIndex2, 1276);
  EXPECT_EQ(PulseRadius2, CosTable[1274] / 4 + 0.5);
  AdvancePulse();
  EXPECT_EQ(PulseIndex2, 1);
  EXPECT_EQ(PulseRadius2, CosTable[1276] / 4 + 0.5);
  EXPECT_GT(PulseRadius2, 0.99);
}

TEST_F(StarStreamTest, PulseRadiiStayWithinTheirSwingOverManyCycles) {
  PulseIndex1 = 1;
  PulseIndex2 = 1000;
  for (int k = 0; k < 5000; ++k) {
    AdvancePulse();
    ASSERT_GE(PulseIndex1, 1);
    ASSERT_LE(PulseIndex1, 1276);
    ASSERT_GE(PulseIndex2, 1);
    ASSERT_LE(PulseIndex2, 1276);
    ASSERT_GT(PulseRadius1, 0.46);
    ASSERT_LE(PulseRadius1, 1.5);
    ASSERT_GT(PulseRadius2, 0.48);
    ASSERT_LE(PulseRadius2, 1.0);
  }
}

TEST_F(StarStreamTest, SetupDrawsEachStartBeforeTheRecordsOwnValues) {
  particle::SeedRandom(5);
  std::vector<Particle> expected(401);
  for (int i = 1; i <= 400; ++i) {
    const double startX = (particle::Random(400) - 200) / 10.0 + 40;
    particle::EmitParticle(expected[i], startX);
  }
  particle::SeedRandom(5);
  StarStreamSetup1();

  EXPECT_EQ(ScenePhase, 20);
  EXPECT_EQ(PulseIndex1, 1);
  EXPECT_EQ(PulseIndex2, 1000);
  EXPECT_EQ(PulseRadius1, 1.5);
  EXPECT_NEAR(PulseRadius2, 0.64, 0.01);
  EXPECT_TRUE(glIsList(RoomList));
  for (int i = 1; i <= 400; ++i) {
    ASSERT_EQ(Record(i).X, expected[i].X) << i;
    ASSERT_EQ(Record(i).Y, expected[i].Y) << i;
    ASSERT_EQ(Record(i).Speed, expected[i].Speed) << i;
    ASSERT_GE(Record(i).X, 20.0);
    ASSERT_LE(Record(i).X, 59.9 + 1e-9);
  }
}

TEST_F(StarStreamTest, FirstSceneSetsUpOnceEvenAfterSkippedFrames) {
  ScenePhase = 12;
  SpinAngle = 33;
  SceneClock = 18000;
  StarStreamScene1();
  EXPECT_EQ(ScenePhase, 20);
  EXPECT_EQ(SpinAngle, 0);
  const GLuint room = RoomList;
  Record(1).X = 5000;
  Record(1).Speed = 0.25;

  StarStreamScene1();
  EXPECT_EQ(RoomList, room);
  EXPECT_EQ(Record(1).X, 4999.75);
  EXPECT_DOUBLE_EQ(AngleX, 0.6);
  EXPECT_DOUBLE_EQ(AngleY, 0.6);
  EXPECT_EQ(StreamSpin, 2);

  // The second scene takes everything over and only moves the marker on.
  SceneClock = 21001;
  const int32_t pulse = PulseIndex1;
  StarStreamScene2();
  EXPECT_EQ(ScenePhase, 21);
  EXPECT_EQ(RoomList, room);
  EXPECT_EQ(StreamSpin, 3);
  EXPECT_DOUBLE_EQ(AngleX, 0.9);
  EXPECT_NE(PulseIndex1, pulse);
  EXPECT_EQ(Record(1).X, 4999.5);
}

TEST_F(StarStreamTest, RotationFreezesAt26500WhileTheStreamMoves) {
  ScenePhase = 12;
  SceneClock = 21001;
  StarStreamScene1();
  StarStreamScene2();
  ParkStream();
  Record(1).Speed = 0.1;

  SceneClock = 26499;
  const double before = AngleX;
  StarStreamScene2();
  EXPECT_DOUBLE_EQ(AngleX, before + 0.3);
  EXPECT_DOUBLE_EQ(AngleY, before + 0.3);

  SceneClock = 26500;
  const double spin = StreamSpin;
  const double x = Record(1).X;
  StarStreamScene2();
  EXPECT_DOUBLE_EQ(AngleX, before + 0.3);
  EXPECT_DOUBLE_EQ(AngleY, before + 0.3);
  EXPECT_EQ(StreamSpin, spin + 1);
  EXPECT_DOUBLE_EQ(Record(1).X, x - 0.1);
}

TEST_F(StarStreamTest, ScenesResetTheFlashCounterOnlyAfterTheirThresholds) {
  ScenePhase = 12;
  const struct {
    void (*scene)();
    int32_t threshold;
  } cases[] = {{StarStreamScene1, 20000}, {StarStreamScene2, 27000}};
  for (const auto& c : cases) {
    FlashCounter = 7;
    SceneClock = c.threshold;
    c.scene();
    EXPECT_EQ(FlashCounter, 7) << c.threshold;
    SceneClock = c.threshold + 1;
    c.scene();
    EXPECT_EQ(FlashCounter, 0) << c.threshold;
  }
}

TEST_F(StarStreamTest, SpikeStarLeavesWireModeAndAQuarterTurnShortOfAFullOneAboutY) {
  glLoadIdentity();
  DrawSpikeStar(0.4f, 1.0f);
  EXPECT_EQ(PolygonModes(), (std::array<GLint, 2>{GL_LINE, GL_LINE}));
  std::array<double, 16> m{};
  glGetDoublev(GL_MODELVIEW_MATRIX, m.data());
  // 270 degrees about y: x goes to +z, z goes to -x.
  const std::array<double, 16> turned = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 1};
  for (int k = 0; k < 16; ++k) EXPECT_NEAR(m[k], turned[k], 1e-6) << k;
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

TEST_F(StarStreamTest, SpikeStarDrawsEachOfTheSixSpikesFilledThenWired) {
  PulseRadius1 = 1.5;
  PulseRadius2 = 0.75;
  glLoadIdentity();
  recorder::Start();
  DrawSpikeStar(0.4f, 1.0f);
  recorder::Stop();
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);

  const auto& batches = recorder::Batches();
  ASSERT_EQ(batches.size(), 24u);
  // Each spike's tip, in drawing order: +z, -y, -z, +y, +x, -x, each drawn twice.
  const Vec3 tips[6] = {{0, 0, 5.5}, {0, -5.5, 0}, {0, 0, -5.5},
                                  {0, 5.5, 0}, {5.5, 0, 0}, {-5.5, 0, 0}};
  for (size_t b = 0; b < batches.size(); b += 2) {
    ASSERT_EQ(batches[b].mode, static_cast<GLenum>(GL_QUADS));
    ASSERT_EQ(batches[b].vertices.size(), 32u);
    ASSERT_EQ(batches[b + 1].mode, static_cast<GLenum>(GL_TRIANGLES));
    ASSERT_EQ(batches[b + 1].vertices.size(), 12u);
    const recorder::Vertex tip = batches[b + 1].vertices[1];
    const Vec3 want = tips[b / 4];
    EXPECT_NEAR(tip.x, want.x, 1e-5) << b;
    EXPECT_NEAR(tip.y, want.y, 1e-5) << b;
    EXPECT_NEAR(tip.z, want.z, 1e-5) << b;
  }
}

// Eye-space position of room point p after turning by ax about x, ay about y and
// spin about x again, pushed 25 units away.
Vec3 StreamCentre(double ax, double ay, double spin, Vec3 p) {
  auto rotX = [](double deg, Vec3 v) {
    const double r = deg * std::numbers::pi / 180;
    return Vec3{v.x, std::cos(r) * v.y - std::sin(r) * v.z,
                          std::sin(r) * v.y + std::cos(r) * v.z};
  };
  auto rotY = [](double deg, Vec3 v) {
    const double r = deg * std::numbers::pi / 180;
    return Vec3{std::cos(r) * v.x + std::sin(r) * v.z, v.y,
                          -std::sin(r) * v.x + std::cos(r) * v.z};
  };
  Vec3 q = rotX(ax, rotY(ay, rotX(spin, p)));
  return {q.x, q.y, q.z - 25};
}

TEST_F(StarStreamTest, StreamSquaresFaceTheViewerAndTurnWithTheRoom) {
  ParkStream();
  Record(1) = Particle{5, 1, 2, 0, 1, 1, 0.1, 0, 0};
  AngleX = 30;
  AngleY = 50;
  for (std::optional<double> spin : {std::optional<double>{}, std::optional<double>{40.0}}) {
    recorder::Start();
    DrawStream(spin);
    recorder::Stop();
    const auto quads = recorder::Quads();
    ASSERT_EQ(quads.size(), 400u);
    const auto& square = quads.front();
    const Vec3 want = StreamCentre(30, 50, spin.value_or(0), {5, 1, 2});
    const recorder::Vertex centre = recorder::Centre(square);
    EXPECT_NEAR(centre.x, want.x, 1e-9);
    EXPECT_NEAR(centre.y, want.y, 1e-9);
    EXPECT_NEAR(centre.z, want.z, 1e-9);
    // An upright 0.6 x 0.6 square facing the viewer, whatever the turns.
    const double dx[4] = {-0.3, 0.3, 0.3, -0.3}, dy[4] = {-0.3, -0.3, 0.3, 0.3};
    for (int k = 0; k < 4; ++k) {
      EXPECT_NEAR(square[k].x - centre.x, dx[k], 1e-9);
      EXPECT_NEAR(square[k].y - centre.y, dy[k], 1e-9);
      EXPECT_NEAR(square[k].z, centre.z, 1e-9);
    }
  }
}

TEST_F(StarStreamTest, ScenesLeaveFilledPolygonsAndNoTexturing) {
  ScenePhase = 12;
  SceneClock = 15000;
  StarStreamScene1();
  EXPECT_EQ(PolygonModes(), (std::array<GLint, 2>{GL_FILL, GL_FILL}));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  SceneClock = 22000;
  StarStreamScene2();
  EXPECT_EQ(PolygonModes(), (std::array<GLint, 2>{GL_FILL, GL_FILL}));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

}  // namespace
