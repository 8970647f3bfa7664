// The spike star, the particle stream and the two star scenes. The stream's squares
// are sent in eye space and must match the same squares drawn with OpenGL's own
// matrix calls.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <vector>

#include "demo/timeline.h"
#include "framework/particle/particle.h"
#include "framework/particle/random.h"
#include "scenes/flare_field.h"
#include "scenes/globals.h"
#include "scenes/star_stream.h"
#include "support/call_log.h"
#include "support/scene_fixture.h"

namespace {

using particle::Particle;
using namespace scenes;

Particle& Record(int i) { return ParticlePool->Particles[i]; }

// Every record far away and standing still, so a test sees only the records it sets.
void ParkStream() {
  for (int i = 1; i <= 400; ++i) Record(i) = Particle{1000, 0, 0, 0, 1, 1, 0, 0, 0};
}
// Record i at x with speed 0.25, Y 0.5, Z -1 and the given signs.
void SetRecord(int i, double x, int signY = 1, int signZ = 1) {
  Record(i) = Particle{x, 0.5, -1.0, 0, signY, signZ, 0.25, 0, 0};
}

std::array<GLint, 2> PolygonModes() {
  std::array<GLint, 2> modes{};
  glGetIntegerv(GL_POLYGON_MODE, modes.data());
  return modes;
}

// The stream as 400 batches, each with its own matrix calls.
void StreamByMatrixCalls(std::optional<double> spin) {
  for (int i = 1; i <= 400; ++i) {
    const Particle& p = Record(i);
    glLoadIdentity();
    glTranslated(0, 0, -25);
    glRotated(AngleX, 1, 0, 0);
    glRotated(AngleY, 0, 1, 0);
    if (spin) glRotated(*spin, 1, 0, 0);
    glTranslated(p.X, p.Y, p.Z);
    if (spin) glRotated(-*spin, 1, 0, 0);
    glRotated(-AngleY, 0, 1, 0);
    glRotated(-AngleX, 1, 0, 0);
    glBegin(GL_QUADS);
    glTexCoord2f(1, 1), glVertex3d(-0.3, -0.3, 0);
    glTexCoord2f(0, 1), glVertex3d(0.3, -0.3, 0);
    glTexCoord2f(0, 0), glVertex3d(0.3, 0.3, 0);
    glTexCoord2f(1, 0), glVertex3d(-0.3, 0.3, 0);
    glEnd();
  }
}

class StarStreamTest : public testsupport::SceneTest {};

TEST_F(StarStreamTest, StreamSpreadsOnlyInsideTheZoneAndNotAtIndexZero) {
  ParkStream();
  SetRecord(1, 13.25, 1, -1);  // lands on 13: in the zone, n = 260
  SetRecord(2, 0.25);          // lands on 0: outside
  SetRecord(3, 0.29);          // lands on 0.04: inside, n = 0
  SetRecord(4, 6.75, -1, 1);   // lands on 6.5: n = 130
  SetRecord(5, 13.5);          // lands on 13.25: outside
  AdvanceStream();

  EXPECT_EQ(Record(1).X, 13.0);
  EXPECT_DOUBLE_EQ(Record(1).Y, 0.5 + CosTable[260] / 12);
  EXPECT_DOUBLE_EQ(Record(1).Z, -1.0 - CosTable[260] / 12);
  EXPECT_DOUBLE_EQ(Record(4).Y, 0.5 - CosTable[130] / 12);
  EXPECT_DOUBLE_EQ(Record(4).Z, -1.0 + CosTable[130] / 12);
  for (int i : {2, 3, 5}) {
    EXPECT_EQ(Record(i).Y, 0.5) << i;
    EXPECT_EQ(Record(i).Z, -1.0) << i;
  }
}

TEST_F(StarStreamTest, StreamReemitsOnlyBeyondMinusTwentyWithTheRulesDraws) {
  ParkStream();
  SetRecord(1, -19.75);  // lands on -20: stays
  SetRecord(2, -19.85);  // lands on -20.1: emitted again at 20
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
  EXPECT_EQ(particle::Random(1000000), nextDraw) << "exactly the rule's draws";
}

// The spreading index is X * 20 truncated: the product itself, not a rounded one.
// Just below a multiple of 0.05 the double product rounds up to the next whole
// number, which would pick the next table entry.
TEST_F(StarStreamTest, SpreadingIndexTruncatesTheExactProduct) {
  struct Case {
    double x;
    int n;
  };
  const Case cases[] = {{0.15, 2}, {0.3, 5}, {0.35, 6}, {1.4, 27}, {0.25, 5}, {12.95, 258}};
  for (const Case& c : cases) {
    ParkStream();
    Record(1) = Particle{c.x, 0.5, -1.0, 0, 1, -1, 0, 0, 0};
    AdvanceStream();
    EXPECT_EQ(Record(1).Y, 0.5 + CosTable[c.n] / 12) << c.x;
    EXPECT_EQ(Record(1).Z, -1.0 - CosTable[c.n] / 12) << c.x;
  }
}

TEST_F(StarStreamTest, PulseIndicesSkipTheNegativeCosineAndWrap) {
  auto steps = [](int32_t& index, int32_t start) {
    index = start;
    std::vector<int32_t> seen;
    for (int k = 0; k < 2; ++k) AdvancePulse(), seen.push_back(index);
    return seen;
  };
  EXPECT_EQ(steps(PulseIndex1, 319), (std::vector<int32_t>{321, 943}));
  EXPECT_EQ(steps(PulseIndex1, 1273), (std::vector<int32_t>{1275, 1}));
  EXPECT_EQ(steps(PulseIndex2, 1274), (std::vector<int32_t>{1276, 1}));
  EXPECT_EQ(PulseRadius2, CosTable[1276] / 4 + 0.5) << "read at 1276, before the wrap";
  // The radius is read before the step: at 321, not at the 943 it jumps to.
  PulseIndex1 = 321;
  AdvancePulse();
  EXPECT_EQ(PulseRadius1, CosTable[321] / 2 + 0.5);
}

TEST_F(StarStreamTest, StreamSquaresInEyeSpaceMatchTheirMatrixCalls) {
  particle::SeedRandom(11);
  for (int i = 1; i <= 400; ++i) {
    particle::EmitParticle(Record(i), (particle::Random(800) - 400) / 10.0);
  }
  AngleX = 137.7;
  AngleY = -48.3;
  for (std::optional<double> spin : {std::optional<double>{}, {0.0}, {617.0}}) {
    SCOPED_TRACE(spin ? *spin : -1);
    calllog::ExpectSameVertices(calllog::Drawn([&] { DrawStream(spin); }),
                                calllog::Drawn([&] { StreamByMatrixCalls(spin); }));
  }
}

TEST_F(StarStreamTest, StreamLooksAsDrawnWithMatrixCalls) {
  particle::SeedRandom(3);
  for (int i = 1; i <= 400; ++i) {
    particle::EmitParticle(Record(i), (particle::Random(400) - 200) / 10.0);
  }
  AngleX = 37.5;
  AngleY = 212.1;
  for (std::optional<double> spin : {std::optional<double>{}, {455.0}}) {
    SCOPED_TRACE(spin ? *spin : -1);
    using testsupport::PictureOfFlares;
    testsupport::ExpectSamePicture(PictureOfFlares([&] { DrawStream(spin); }),
                                   PictureOfFlares([&] { StreamByMatrixCalls(spin); }));
  }
}

// The stream and the flare tiles leave the identity where matrix calls would leave a
// record's or a tile's frame. That is invisible only if every routine that can run
// after them loads the identity before it draws anything.
TEST_F(StarStreamTest, EveryTimelineRoutineLoadsTheIdentityBeforeItDraws) {
  const GLdouble elsewhere[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 7, -3, -9, 1};
  for (const demo::TimelineRow& row : demo::Timeline) {
    SCOPED_TRACE(row.Name);
    SceneClock = row.HasLowerBound ? row.FirstMs : 0;
    glLoadMatrixd(elsewhere);
    calllog::Start();
    row.Routine();
    calllog::Stop();
    ASSERT_FALSE(calllog::Batches().empty());
    for (const calllog::Batch& batch : calllog::Batches()) {
      EXPECT_TRUE(batch.identityLoadedBefore);
    }
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

  EXPECT_EQ(PulseRadius1, 1.5);
  EXPECT_NEAR(PulseRadius2, 0.64, 0.01);
  EXPECT_TRUE(glIsList(RoomList));
  for (int i = 1; i <= 400; ++i) {
    ASSERT_EQ(Record(i).X, expected[i].X) << i;
    ASSERT_EQ(Record(i).Speed, expected[i].Speed) << i;
  }
}

TEST_F(StarStreamTest, FirstSceneSetsUpOnceEvenAfterSkippedFramesAndTheSecondTakesOver) {
  ScenePhase = 12;
  SpinAngle = 33;
  SceneClock = 18000;
  StarStreamScene1();
  EXPECT_EQ(ScenePhase, 20);
  EXPECT_EQ(SpinAngle, 0);
  const GLuint room = RoomList;
  SetRecord(1, 5000);
  StarStreamScene1();
  EXPECT_EQ(RoomList, room);
  EXPECT_EQ(Record(1).X, 4999.75) << "not emitted again";
  EXPECT_DOUBLE_EQ(AngleX, 0.6);
  EXPECT_EQ(StreamSpin, 2);

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
  ScenePhase = 20;
  AngleX = AngleY = StreamSpin = 0;
  ParkStream();
  SetRecord(1, 5);
  SceneClock = 26499;
  StarStreamScene2();
  EXPECT_DOUBLE_EQ(AngleX, 0.3);
  EXPECT_DOUBLE_EQ(AngleY, 0.3);
  SceneClock = 26500;
  StarStreamScene2();
  EXPECT_DOUBLE_EQ(AngleX, 0.3);
  EXPECT_DOUBLE_EQ(AngleY, 0.3);
  EXPECT_EQ(StreamSpin, 2);
  EXPECT_EQ(Record(1).X, 4.5);
}

TEST_F(StarStreamTest, ScenesResetTheFlashCounterOnlyAfterTheirThresholds) {
  ScenePhase = 12;
  const struct {
    void (*scene)();
    int32_t threshold;
  } cases[] = {{StarStreamScene1, 20000}, {StarStreamScene2, 27000}, {FlareFieldScene, 34000}};
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

TEST_F(StarStreamTest, StarLeavesWireModesAndATurnAboutYTheScenesLeaveFill) {
  glLoadIdentity();
  DrawSpikeStar(0.4f, 1.0f);
  EXPECT_EQ(PolygonModes(), (std::array<GLint, 2>{GL_LINE, GL_LINE}));
  std::array<double, 16> m{};
  glGetDoublev(GL_MODELVIEW_MATRIX, m.data());
  // 270 degrees about y: x goes to +z, z goes to -x.
  const std::array<double, 16> turned = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 1};
  for (int k = 0; k < 16; ++k) EXPECT_NEAR(m[k], turned[k], 1e-6) << k;

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

TEST_F(StarStreamTest, SecondSceneEchoesTheStarNearerAndFainter) {
  ScenePhase = 20;
  SceneClock = 22000;
  calllog::Start();
  StarStreamScene2();
  calllog::Stop();
  // Each spike ends in one batch of triangles: twelve per star, each spike filled
  // and then wired before the next.
  std::vector<calllog::Batch> tips;
  for (const auto& b : calllog::Batches()) {
    if (b.mode == GL_TRIANGLES) tips.push_back(b);
  }
  ASSERT_EQ(tips.size(), 36u);
  const struct {
    double depth;
    float fill, wire;
  } copies[3] = {{-25, 0.3f, 0.9f}, {-22.5, 0.175f, 0.515385f}, {-20, 0.05f, 0.130769f}};
  for (int k = 0; k < 3; ++k) {
    for (int d = 0; d < 12; ++d) {
      const auto& b = tips[12 * k + d];
      EXPECT_NEAR(b.modelview[14], copies[k].depth, 1e-5) << k;
      EXPECT_NEAR(b.vertices[0].colour[3], d % 2 == 0 ? copies[k].fill : copies[k].wire, 1e-6) << k;
    }
  }
}

}  // namespace
