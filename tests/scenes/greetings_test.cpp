// Greetings room: the bands' flight, the fade level, the band pictures and what the
// fade leaves on screen, on the real pictures.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "demo/timeline.h"
#include "scenes/globals.h"
#include "scenes/greetings.h"
#include "support/scene_fixture.h"

namespace {

using namespace scenes;
using testsupport::Rgba;

using GreetingsTest = testsupport::SceneTest;

constexpr int W = testsupport::OffscreenGLTest::Width;
constexpr int H = testsupport::OffscreenGLTest::Height;

particle::Particle& Record(int i) { return ParticlePool->Particles[i]; }

TEST_F(GreetingsTest, BandsStopAtTheFirstDepthNotBelowMinus15) {
  demo::DrawTimelineFrame(56001);  // set-up, then the first step
  ASSERT_EQ(ScenePhase, 99);
  for (int frame = 2; frame <= 82; ++frame) GreetingsScene();
  EXPECT_LT(Record(1).Z, -15);
  GreetingsScene();  // frame 83
  EXPECT_NEAR(Record(1).Z, -14.7, 1e-9);
  for (int frame = 84; frame <= 200; ++frame) GreetingsScene();
  EXPECT_NEAR(Record(1).Z, -14.7, 1e-9);

  for (int i = 1; i <= 8; ++i) {
    EXPECT_GE(Record(i).Z, -15) << "band " << i;
    EXPECT_LT(Record(i).Z - 1.1, -15) << "band " << i;
    EXPECT_DOUBLE_EQ(Record(i).Y, 4.5 - i);
  }
  for (int i = 9; i <= 16; ++i) {
    EXPECT_GE(Record(i).Z, 3) << "copy " << i;
    EXPECT_LT(Record(i).Z - 1.1, 3) << "copy " << i;
  }
}

TEST_F(GreetingsTest, BandsExactlyAtTheirStopDepthStayPut) {
  GreetingsSetup();
  Record(1).Z = -15;
  Record(9).Z = 3;
  Record(10).Z = 2.99;
  GreetingsScene();
  EXPECT_EQ(Record(1).Z, -15);
  EXPECT_EQ(Record(9).Z, 3);
  EXPECT_NEAR(Record(10).Z, 4.09, 1e-12);
}

TEST_F(GreetingsTest, LeavesRecordsBeyondSixteenAlone) {
  Record(17) = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  demo::DrawTimelineFrame(56001);
  for (int32_t clock = 56016; clock <= 67000; clock += 150) demo::DrawTimelineFrame(clock);
  EXPECT_EQ(Record(17).X, 1);
  EXPECT_EQ(Record(17).Z, 3);
  EXPECT_EQ(Record(17).Speed, 7);
}

TEST_F(GreetingsTest, FadeLevelStopsAtTheFirstValueNotBelowOne) {
  GreetingsSetup();
  int frames = 0;
  double before = -1;
  while (Progress != before && frames < 100) {
    before = Progress;
    GreetingsFadeScene();
    ++frames;
  }
  EXPECT_GE(Progress, 1.0);
  EXPECT_LT(Progress - 0.02, 1.0);
  EXPECT_LE(frames, 52);

  Progress = 1.0;
  GreetingsFadeScene();
  EXPECT_EQ(Progress, 1.0);

  Progress = 0.99;
  GreetingsFadeScene();
  EXPECT_NEAR(Progress, 1.01, 1e-12);
  GreetingsFadeScene();
  EXPECT_NEAR(Progress, 1.01, 1e-12);
}

// A 4 x 8 picture: two rows per band, top first: red over yellow, green over cyan,
// blue over magenta, white over black; the right half of every row is black.
constexpr Rgba kRows[8] = {{255, 0, 0, 0},   {255, 255, 0, 0}, {0, 255, 0, 0},
                           {0, 255, 255, 0}, {0, 0, 255, 0},   {255, 0, 255, 0},
                           {255, 255, 255, 0}, {0, 0, 0, 0}};

GLuint BandRowsPicture() {
  std::vector<uint8_t> pixels;
  for (const Rgba& row : kRows) {
    for (int x = 0; x < 2; ++x) pixels.insert(pixels.end(), {row.b, row.g, row.r, 0});
    for (int x = 2; x < 4; ++x) pixels.insert(pixels.end(), {0, 0, 0, 0});
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexImage2D(GL_TEXTURE_2D, 0, 3, 4, 8, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  return name;
}

// Window position of a point in front of the viewer (eye coordinates).
void Project(double x, double y, double z, int& px, int& py) {
  double projection[16];
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  const double cx = projection[0] * x + projection[8] * z;
  const double cy = projection[5] * y + projection[9] * z;
  const double cw = -z;
  px = static_cast<int>((cx / cw + 1) / 2 * W);
  py = static_cast<int>((cy / cw + 1) / 2 * H);
}

TEST_F(GreetingsTest, BandsCutTheirPictureIntoQuartersTopFirst) {
  GreetingsSetup();
  texture::ImageTexture picture{};
  picture.Name = BandRowsPicture();
  texture::ImageTexture* const saved = Textures.greets1;
  Textures.greets1 = &picture;
  for (int i = 1; i <= 16; ++i) Record(i).Z = 50;  // everything behind the viewer
  for (int k = 1; k <= 4; ++k) Record(k).Z = -15;  // greets1's bands in place

  // Room and copies faded out; the bands at alpha 0.6.
  Progress = 0.4;
  GreetingsFadeScene();
  Textures.greets1 = saved;
  glDeleteTextures(1, &picture.Name);

  for (int k = 1; k <= 4; ++k) {
    for (int half = 0; half < 2; ++half) {
      const double y = 4.5 - k - 0.25 - 0.5 * half;
      int px, py;
      Project(-1.0, y, -15, px, py);
      const Rgba got = testsupport::ReadPixel(px, py);
      const Rgba& want = kRows[2 * (k - 1) + half];
      EXPECT_NEAR(got.r, want.r * 0.6, 2) << "band " << k << " half " << half;
      EXPECT_NEAR(got.g, want.g * 0.6, 2) << "band " << k << " half " << half;
      EXPECT_NEAR(got.b, want.b * 0.6, 2) << "band " << k << " half " << half;
      Project(1.0, y, -15, px, py);
      const Rgba right = testsupport::ReadPixel(px, py);
      EXPECT_EQ(right.r + right.g + right.b, 0) << "band " << k << " half " << half;
    }
  }
}

// The drawn frame of GreetingsFadeScene at a given fade level, from the same state.
std::vector<Rgba> FadeFrame(double fade, const particle::Particle (&records)[16], double angle) {
  for (int i = 1; i <= 16; ++i) Record(i) = records[i - 1];
  AngleX = AngleY = angle;
  Progress = fade;
  GreetingsFadeScene();
  return testsupport::ReadFrame(W, H);
}

int Brightness(const Rgba& p) { return p.r + p.g + p.b; }

TEST_F(GreetingsTest, HalfFadeLeavesPanelAndBandsAtHalfStrengthOnly) {
  // Bands at rest; the copies pulled back into view at the right-hand side.
  demo::DrawTimelineFrame(56001);
  for (int frame = 2; frame <= 140; ++frame) GreetingsScene();
  particle::Particle records[16];
  for (int i = 1; i <= 16; ++i) records[i - 1] = Record(i);
  for (int i = 9; i <= 16; ++i) {
    records[i - 1].X = 5;
    records[i - 1].Z = -10;
  }
  const double angle = AngleX;

  const std::vector<Rgba> clear = FadeFrame(0.0, records, angle);
  const std::vector<Rgba> room_gone = FadeFrame(0.4, records, angle);
  const std::vector<Rgba> half = FadeFrame(0.5, records, angle);
  const std::vector<Rgba> gone = FadeFrame(1.0, records, angle);

  int panel_x, band_x, copy_x, band_y, unused;
  Project(-4, 0, -15, panel_x, unused);
  Project(5, 0, -10, copy_x, unused);
  Project(0.5, 1.7, -15, band_x, band_y);

  // Unfaded, the room shows all over and the copies add to it.
  int room_pixels = 0;
  for (const Rgba& p : clear) room_pixels += Brightness(p) > 0;
  EXPECT_GT(room_pixels, W * H * 9 / 10);

  // At 0.5 every pixel is five sixths of what 0.4 left: the room and the copies add
  // nothing at either level, panel and bands scale with 1 - 0.5 against 1 - 0.4.
  int lit = 0, compared = 0;
  for (int i = 0; i < W * H; ++i) {
    const Rgba& a = room_gone[i];
    const Rgba& b = half[i];
    if (a.r >= 250 || a.g >= 250 || a.b >= 250) continue;  // saturated overlap
    ++compared;
    EXPECT_NEAR(b.r, a.r * 5.0 / 6.0, 2.0) << "pixel " << i % W << ", " << i / W;
    EXPECT_NEAR(b.g, a.g * 5.0 / 6.0, 2.0) << "pixel " << i % W << ", " << i / W;
    EXPECT_NEAR(b.b, a.b * 5.0 / 6.0, 2.0) << "pixel " << i % W << ", " << i / W;
    lit += Brightness(b) > 0;
    if (HasFailure()) break;
  }
  EXPECT_GT(compared, W * H * 9 / 10);

  // What is lit at 0.5 is the panel and the bands; the copies' side is dark.
  int panel_lit = 0, band_lit = 0;
  for (int y = 0; y < H; ++y) panel_lit += Brightness(half[y * W + panel_x]) > 0;
  for (int x = band_x - 3; x <= band_x + 3; ++x) band_lit += Brightness(half[band_y * W + x]) > 0;
  EXPECT_GT(panel_lit, H / 4);
  EXPECT_GT(band_lit, 0);
  EXPECT_GT(Brightness(clear[H / 2 * W + copy_x]), Brightness(room_gone[H / 2 * W + copy_x]));
  int dark_right = 0;
  for (int y = 0; y < H; ++y) {
    for (int x = copy_x - 5; x <= copy_x + 5; ++x) dark_right += Brightness(half[y * W + x]) == 0;
  }
  EXPECT_EQ(dark_right, H * 11);
  EXPECT_LT(lit, W * H / 2);

  // Fully faded: black.
  for (const Rgba& p : gone) ASSERT_EQ(Brightness(p), 0);
}

}  // namespace
