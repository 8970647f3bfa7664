// The flare field and the stream, drawn by the scenes and by OpenGL's own matrix
// calls, give the same picture.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

#include "framework/particle/particle.h"
#include "framework/particle/random.h"
#include "reference_drawing.h"
#include "scenes/flare_field.h"
#include "scenes/globals.h"
#include "scenes/star_stream.h"
#include "support/scene_fixture.h"

namespace {

using namespace scenes;
using testsupport::ReadFrame;
using testsupport::Rgba;

class SamePicture : public testsupport::SceneTest {
 protected:
  std::vector<Rgba> Picture(const std::function<void()>& draw) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, Textures.flare2->Name);
    glColor4f(1, 1, 1, 1);
    draw();
    glDisable(GL_TEXTURE_2D);
    return ReadFrame(Width, Height);
  }

  // Pixels whose channels differ by more than one level, and the largest difference.
  static void Compare(const std::vector<Rgba>& a, const std::vector<Rgba>& b) {
    int differing = 0, largest = 0, lit = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      const int d = std::max({std::abs(a[i].r - b[i].r), std::abs(a[i].g - b[i].g),
                              std::abs(a[i].b - b[i].b)});
      differing += d > 1;
      largest = std::max(largest, d);
      lit += a[i].r + a[i].g + a[i].b > 0;
    }
    std::printf("lit %d, differing by more than 1: %d, largest difference %d\n", lit, differing,
                largest);
    EXPECT_GT(lit, 1000);
    EXPECT_LE(differing, static_cast<int>(a.size() / 200));
  }
};

TEST_F(SamePicture, FlareField) {
  Progress = 9.6;
  PulseIndex2 = 1043;
  auto rows = [](void (*tile)(int32_t, double)) {
    const struct { double y; int first, last; } kRows[] = {
        {0, -30, 30}, {2, -20, 19}, {-2, -20, 19}, {4, -15, 15},
        {-4, -15, 15}, {6, -10, 8}, {-6, -10, 8}};
    for (const auto& r : kRows)
      for (int v = r.first; v <= r.last; v += 3) tile(v, r.y);
  };
  Compare(Picture([&] { rows(DrawFlareTile); }), Picture([&] { rows(review::ReferenceFlareTile); }));
}

TEST_F(SamePicture, Stream) {
  particle::SeedRandom(3);
  for (int i = 1; i <= 400; ++i) {
    particle::EmitParticle(ParticlePool->Particles[i], (particle::Random(400) - 200) / 10.0);
  }
  AngleX = 37.5;
  AngleY = 212.1;
  Compare(Picture([] { DrawStream(std::nullopt); }),
          Picture([] { review::ReferenceStream(std::nullopt); }));
  Compare(Picture([] { DrawStream(455.0); }), Picture([] { review::ReferenceStream(455.0); }));
}

}  // namespace
