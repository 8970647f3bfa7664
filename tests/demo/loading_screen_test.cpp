// The loading screen on an offscreen context: the picture, centred over black,
// exactly as decoded; and the two-second hold.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "demo/loading_screen.h"
#include "framework/texture/texture.h"
#include "framework/window/window.h"
#include "scenes/globals.h"
#include "support/gl_fixture.h"
#include "support/test_pictures.h"

namespace {

using testsupport::DecodedPicture;
using testsupport::OffscreenGLTest;

class LoadingScreenTest : public OffscreenGLTest {
 protected:
  void SetUp() override {
    OffscreenGLTest::SetUp();
    std::filesystem::create_directory(dir.File("data"));
    // 3 x 3 flat blocks of distinct colours, the centre block on the frame's centre.
    testsupport::WriteTestPicture(dir.File("data/loading.tqz"),
                                  testsupport::BlockPicture(48, 48, 3, 3));
    picture = testsupport::DecodeForTest(dir.File("data/loading.tqz"));
    // State the loading screen must set for itself.
    glClearColor(0, 0, 0, 1);
    glColor4f(0.2f, 0.3f, 0.4f, 0.5f);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
  }
  void TearDown() override {
    texture::Destroy(scenes::Textures.loading);
    scenes::Textures.loading = nullptr;
  }

  testsupport::TempDir dir;
  testsupport::ScopedWorkingDirectory cwd{dir.Path()};
  DecodedPicture picture;
};

// The object-space point of the plane z = 0 under window pixel (x, y)'s centre.
void PixelOnPlane(int x, int y, double& ox, double& oy) {
  GLdouble model[16], projection[16];
  GLint viewport[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, model);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  glGetIntegerv(GL_VIEWPORT, viewport);
  double nx, ny, nz, fx, fy, fz;
  gluUnProject(x + 0.5, y + 0.5, 0.0, model, projection, viewport, &nx, &ny, &nz);
  gluUnProject(x + 0.5, y + 0.5, 1.0, model, projection, viewport, &fx, &fy, &fz);
  const double k = nz / (nz - fz);
  ox = nx + k * (fx - nx);
  oy = ny + k * (fy - ny);
}

// Channel c (0 red, 1 green, 2 blue) of texel (x, y), wrapping as GL_REPEAT does.
int Texel(const DecodedPicture& p, int x, int y, int c) {
  x = ((x % p.Width) + p.Width) % p.Width;
  y = ((y % p.Height) + p.Height) % p.Height;
  return static_cast<int>(p.At(x, y) >> (16 - 8 * c) & 0xFF);
}

TEST_F(LoadingScreenTest, DrawsThePictureUnchangedAndCentredOverBlack) {
  demo::DrawLoadingScreen();

  ASSERT_NE(scenes::Textures.loading, nullptr);
  EXPECT_EQ(scenes::Textures.loading->Width, 48);
  GLint mode = 0;
  glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
  EXPECT_EQ(mode, GL_MODULATE);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));

  const auto frame = testsupport::ReadFrame(Width, Height);
  int compared = 0, black = 0;
  double top = -1, bottom = Height;
  for (int y = 0; y < Height; ++y) {
    for (int x = 0; x < Width; ++x) {
      const testsupport::Rgba& pixel = frame[static_cast<size_t>(y) * Width + x];
      double ox, oy;
      PixelOnPlane(x, y, ox, oy);
      if (std::abs(ox) > 10.3 || std::abs(oy) > 10.3) {
        EXPECT_TRUE(pixel.r == 0 && pixel.g == 0 && pixel.b == 0)
            << "outside the square at (" << x << ", " << y << ")";
        ++black;
        continue;
      }
      if (std::abs(ox) > 9.7 || std::abs(oy) > 9.7) continue;  // the square's rim
      top = std::max(top, double(y));
      bottom = std::min(bottom, double(y));
      // Linear sampling at this pixel: texel s = first column, t = 0 at the top.
      const double s = (ox + 10.0) / 20.0 * picture.Width - 0.5;
      const double t = (10.0 - oy) / 20.0 * picture.Height - 0.5;
      const int i = static_cast<int>(std::floor(s));
      const int j = static_cast<int>(std::floor(t));
      const double fs = s - i, ft = t - j;
      const uint8_t got[3] = {pixel.r, pixel.g, pixel.b};
      bool flat = true;
      double expected[3];
      for (int c = 0; c < 3; ++c) {
        const int a = Texel(picture, i, j, c), b = Texel(picture, i + 1, j, c);
        const int d = Texel(picture, i, j + 1, c), e = Texel(picture, i + 1, j + 1, c);
        flat = flat && std::max({a, b, d, e}) - std::min({a, b, d, e}) <= 8;
        expected[c] = (a * (1 - fs) + b * fs) * (1 - ft) + (d * (1 - fs) + e * fs) * ft;
      }
      if (!flat) continue;  // sharp edges: sampling positions differ by fractions
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(got[c], expected[c], 2.5) << "channel " << c << " at (" << x << ", " << y
                                              << "), texel " << i << ", " << j;
      ++compared;
      if (HasFailure()) return;
    }
  }
  EXPECT_GT(compared, 2000);
  EXPECT_GT(black, Width * Height / 2);
  // About 60 % of the frame's height, centred.
  EXPECT_NEAR((top - bottom + 1) / Height, 0.6, 0.03);
  EXPECT_NEAR((top + bottom) / 2, (Height - 1) / 2.0, 1.0);

  // The centre of the frame shows the centre of the picture.
  const testsupport::Rgba centre = testsupport::ReadPixel(Width / 2, Height / 2);
  const uint32_t word = picture.At(24, 24);
  EXPECT_NEAR(centre.r, word >> 16 & 0xFF, 2);
  EXPECT_NEAR(centre.g, word >> 8 & 0xFF, 2);
  EXPECT_NEAR(centre.b, word & 0xFF, 2);
}

TEST_F(LoadingScreenTest, HoldsThePictureForTwoSecondsOfTickCount) {
  const uint64_t start = window::TickCount();
  demo::ShowLoadingScreen();
  EXPECT_GE(window::TickCount() - start, 2000u);
  // Presenting without a window leaves the offscreen frame as drawn.
  const testsupport::Rgba centre = testsupport::ReadPixel(Width / 2, Height / 2);
  const uint32_t word = picture.At(24, 24);
  EXPECT_NEAR(centre.r, word >> 16 & 0xFF, 2);
  EXPECT_NEAR(centre.b, word & 0xFF, 2);
}

}  // namespace
