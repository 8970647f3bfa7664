// The scenes against the drawing sequences they stand for: the stream squares and
// flare tiles, sent in eye space, must match the same squares and tiles drawn with
// OpenGL's own matrix calls; nothing drawn after them may depend on the matrix they
// leave; colours and table look-ups must be the values the scenes' formulas give.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

#include "support/call_log.h"
#include "demo/timeline.h"
#include "framework/particle/particle.h"
#include "framework/particle/random.h"
#include "scenes/checker_stack.h"
#include "scenes/flare_field.h"
#include "scenes/globals.h"
#include "scenes/overlays.h"
#include "scenes/star_stream.h"
#include "reference_drawing.h"
#include "support/scene_fixture.h"

namespace {

using namespace scenes;

class Fidelity : public testsupport::SceneTest {};

std::vector<calllog::Vertex> Drawn(void (*draw)()) {
  calllog::Start();
  draw();
  calllog::Stop();
  return calllog::QuadVertices();
}

// Same vertices in the same order: eye positions to float matrix precision, colours
// and texture coordinates exactly.
void ExpectSameVertices(const std::vector<calllog::Vertex>& got,
                        const std::vector<calllog::Vertex>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t k = 0; k < got.size(); ++k) {
    for (int c = 0; c < 3; ++c) ASSERT_NEAR(got[k].eye[c], want[k].eye[c], 2e-4) << k;
    ASSERT_EQ(got[k].colour, want[k].colour) << k;
    ASSERT_EQ(got[k].tex, want[k].tex) << k;
  }
}

TEST_F(Fidelity, FlareTilesInEyeSpaceMatchTheirMatrixCalls) {
  Progress = 13.4;
  PulseIndex2 = 1043;
  for (int32_t v : {-30, -20, -10, -1, 0, 2, 8, 15, 19, 30}) {
    for (double y : {0.0, -4.0, 6.0}) {
      SCOPED_TRACE(testing::Message() << "v " << v << " y " << y);
      static int32_t tileV;
      static double tileY;
      tileV = v, tileY = y;
      const auto got = Drawn([] { DrawFlareTile(tileV, tileY); });
      GLfloat colour[4];
      glGetFloatv(GL_CURRENT_COLOR, colour);
      EXPECT_EQ(colour[3], 0.3f) << "the last quad's colour stays current";
      ExpectSameVertices(got, Drawn([] { review::ReferenceFlareTile(tileV, tileY); }));
    }
  }
}

TEST_F(Fidelity, StreamSquaresInEyeSpaceMatchTheirMatrixCalls) {
  particle::SeedRandom(11);
  for (int i = 1; i <= 400; ++i) {
    particle::EmitParticle(ParticlePool->Particles[i], (particle::Random(800) - 400) / 10.0);
  }
  AngleX = 137.7;
  AngleY = -48.3;
  ExpectSameVertices(Drawn([] { DrawStream(std::nullopt); }),
                     Drawn([] { review::ReferenceStream(std::nullopt); }));
  ExpectSameVertices(Drawn([] { DrawStream(0.0); }), Drawn([] { review::ReferenceStream(0.0); }));
  ExpectSameVertices(Drawn([] { DrawStream(617.0); }), Drawn([] { review::ReferenceStream(617.0); }));
}

// The stream and the tiles leave the identity where the matrix calls would leave a
// record's or a tile's frame. That is invisible only if every routine that can run
// after them loads the identity before it draws anything.
TEST_F(Fidelity, EveryTimelineRoutineLoadsTheIdentityBeforeItDraws) {
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

// Alphas are the nearest single-precision values of the formulas' results.
TEST_F(Fidelity, OverlayAndStackAlphasAreTheNearestFloats) {
  for (int32_t counter = 0; counter <= 40; ++counter) {
    FlashCounter = counter;
    const auto flash = Drawn(FlashOverlay);
    ASSERT_EQ(flash.size(), 4u);
    EXPECT_EQ(flash[0].colour[3], static_cast<float>(1.0L - counter / 20.0L)) << counter;
    FlashCounter = counter;
    EXPECT_EQ(Drawn(FadeToWhite)[0].colour[3], static_cast<float>(counter / 30.0L)) << counter;
    FlashCounter = counter;
    EXPECT_EQ(Drawn(FadeFromWhite)[0].colour[3], static_cast<float>(counter / 30.0L)) << counter;
  }
  const auto stack = Drawn([] { DrawCheckerStack(1.0f); });
  ASSERT_EQ(stack.size(), 44u);
  for (int i = 0; i <= 10; ++i) {
    EXPECT_EQ(stack[4 * i].colour[3], static_cast<float>(1.0L - i / 10.0L)) << i;
  }
}

// The spreading index is X * 20 truncated: the product itself, not a rounded one.
// Just below a multiple of 0.05 the double product rounds up to the next whole
// number, which would pick the next table entry.
TEST_F(Fidelity, SpreadingIndexTruncatesTheExactProduct) {
  struct Case {
    double x;
    int n;
  };
  const Case cases[] = {{0.15, 2}, {0.3, 5}, {0.35, 6}, {1.4, 27}, {0.25, 5}, {12.95, 258}};
  for (const Case& c : cases) {
    ParticlePool->Particles[1] = particle::Particle{c.x, 0.5, -1.0, 0, 1, -1, 0, 0, 0};
    for (int i = 2; i <= 400; ++i) {
      ParticlePool->Particles[i] = particle::Particle{1000, 0, 0, 0, 1, 1, 0, 0, 0};
    }
    AdvanceStream();
    EXPECT_EQ(ParticlePool->Particles[1].Y, 0.5 + CosTable[c.n] / 12) << c.x;
    EXPECT_EQ(ParticlePool->Particles[1].Z, -1.0 - CosTable[c.n] / 12) << c.x;
  }
}

}  // namespace
