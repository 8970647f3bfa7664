// The production's intro picture in the two picture quads: each pixel of a quad shows
// the texel of its own half, not the one half a picture away.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "made_textures.h"
#include "scenes/checker_stack.h"
#include "scenes/globals.h"
#include "support/scene_fixture.h"

namespace {

using testsupport::Rgba;

class IntroHalves : public testsupport::SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    if (scenes::Textures.intro1 == nullptr) GTEST_SKIP() << "no intro1 picture loaded";
    // A black stack adds nothing, so the frame shows the picture quad alone.
    scenes::Textures.checkers = lent_.Flat({0, 0, 0});
    glBindTexture(GL_TEXTURE_2D, scenes::Textures.intro1->Name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &texWidth_);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &texHeight_);
    texels_.resize(static_cast<size_t>(texWidth_) * texHeight_ * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels_.data());
    glBindTexture(GL_TEXTURE_2D, 0);
  }

  // Mean difference, over the frame pixels that the quad at eye position (qx, qy, -4)
  // covers, between each pixel and the texel at its (s, t) with t shifted by tShift.
  // tTop is the t at the quad's top edge (its bottom edge is half a picture below).
  double MeanDifference(double qx, double qy, double tTop, double tShift) {
    const std::vector<Rgba> frame = testsupport::ReadFrame(Width, Height);
    const double tanHalf = std::tan(22.5 * M_PI / 180.0);
    const double aspect = static_cast<double>(Width) / Height;
    double sum = 0.0;
    int n = 0;
    for (int py = 0; py < Height; ++py) {
      for (int px = 0; px < Width; ++px) {
        const double lx = 4.0 * ((px + 0.5) / (Width / 2.0) - 1.0) * tanHalf * aspect - qx;
        const double ly = 4.0 * ((py + 0.5) / (Height / 2.0) - 1.0) * tanHalf - qy;
        const double s = (lx + 1.0) / 2.0;
        const double t = tTop - ly / 2.0;
        // Keep a margin of a few texels from the quad's edges.
        if (s < 0.03 || s > 0.97 || ly < -0.95 || ly > -0.05) continue;
        const int col = static_cast<int>(s * texWidth_);
        const int row = static_cast<int>((t + tShift) * texHeight_);
        const uint8_t* texel = &texels_[(static_cast<size_t>(row) * texWidth_ + col) * 3];
        const Rgba p = frame[py * Width + px];
        sum += std::abs(p.r - texel[0]) + std::abs(p.g - texel[1]) + std::abs(p.b - texel[2]);
        ++n;
      }
    }
    EXPECT_GT(n, 500);
    return n > 0 ? sum / (3.0 * n) : 0.0;
  }

  scenetest::LentTextures lent_;
  GLint texWidth_ = 0, texHeight_ = 0;
  std::vector<uint8_t> texels_;
};

TEST_F(IntroHalves, SceneTwoShowsTheUpperHalf) {
  scenes::CheckerStackScene2();
  const double own = MeanDifference(1.1, -0.8, 0.0, 0.0);
  const double other = MeanDifference(1.1, -0.8, 0.0, 0.5);
  EXPECT_LT(own, 12.0);
  EXPECT_LT(3.0 * own, other);
}

TEST_F(IntroHalves, SceneThreeShowsTheLowerHalf) {
  scenes::ScenePhase = 11;
  scenes::CheckerStackScene3();
  const double own = MeanDifference(-1.3, 1.7, 0.5, 0.0);
  const double other = MeanDifference(-1.3, 1.7, 0.5, -0.5);
  EXPECT_LT(own, 12.0);
  EXPECT_LT(3.0 * own, other);
}

}  // namespace
