// Picture and canvas textures on an offscreen context: what reaches OpenGL, in
// which channel order, with which sampling, and under which name.
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "framework/texture/texture.h"
#include "support/gl_fixture.h"
#include "support/test_pictures.h"

namespace {

using testsupport::DecodedPicture;
using testsupport::TempDir;

GLint TexParameter(GLenum name) {
  GLint value = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
  return value;
}

GLint LevelWidth(int level) {
  GLint width = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
  return width;
}

GLuint BoundTexture() {
  GLint name = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
  return static_cast<GLuint>(name);
}

// Texels of level 0 against the decoder's pixels: red, green, blue from the word
// 0x00RRGGBB, alpha opaque.
void ExpectTexelsEqualPicture(GLuint name, const DecodedPicture& picture) {
  const std::vector<uint8_t> texels = testsupport::ReadTextureRGBA(name);
  ASSERT_EQ(texels.size(), static_cast<size_t>(picture.Width) * picture.Height * 4);
  int mismatches = 0;
  for (int y = 0; y < picture.Height; ++y) {
    for (int x = 0; x < picture.Width; ++x) {
      const uint8_t* t = &texels[(static_cast<size_t>(y) * picture.Width + x) * 4];
      const uint32_t word = picture.At(x, y);
      const bool same = t[0] == (word >> 16 & 0xFF) && t[1] == (word >> 8 & 0xFF) &&
                        t[2] == (word & 0xFF) && t[3] == 255;
      if (!same && ++mismatches <= 5)
        ADD_FAILURE() << "texel (" << x << ", " << y << ") is " << int(t[0]) << " " << int(t[1])
                      << " " << int(t[2]) << " " << int(t[3]) << ", picture 0x" << std::hex
                      << word;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Draws the bound texture over the whole viewport and returns the distinct colours.
std::set<uint32_t> DrawMagnifiedColours() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_TEXTURE_2D);
  glColor4f(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(-1, -1);
  glTexCoord2f(1, 0);
  glVertex2f(1, -1);
  glTexCoord2f(1, 1);
  glVertex2f(1, 1);
  glTexCoord2f(0, 1);
  glVertex2f(-1, 1);
  glEnd();
  glDisable(GL_TEXTURE_2D);
  std::set<uint32_t> colours;
  for (const auto& p : testsupport::ReadFrame(testsupport::OffscreenGLTest::Width,
                                              testsupport::OffscreenGLTest::Height))
    colours.insert(uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | p.b);
  return colours;
}

class ImageTextureTest : public testsupport::OffscreenGLTest {
 protected:
  TempDir dir;
};

TEST_F(ImageTextureTest, ColourPictureUploadsTheDecodedPixelsInRedGreenBlueOrder) {
  const std::string path = dir.File("colour.tqz");
  testsupport::WriteTestPicture(path, testsupport::PatternPicture(32, 16, 3, 7));
  const DecodedPicture decoded = testsupport::DecodeForTest(path);

  texture::ImageTexture* texture = texture::Load(path, 3, false);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->Width, 32);
  EXPECT_EQ(texture->Height, 16);
  EXPECT_EQ(texture->Header.BitsPerPixel, 24);
  EXPECT_EQ(std::memcmp(texture->Pixels, decoded.Rgb.data(), decoded.Rgb.size() * 4), 0)
      << "the decoded picture stays in Pixels";
  EXPECT_NE(texture->Name, 0u);
  EXPECT_EQ(BoundTexture(), texture->Name);
  EXPECT_EQ(TexParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
  EXPECT_EQ(TexParameter(GL_TEXTURE_WRAP_T), GL_REPEAT);
  EXPECT_EQ(LevelWidth(1), 0) << "no mipmaps";
  ExpectTexelsEqualPicture(texture->Name, decoded);
  texture::Destroy(texture);
}

TEST_F(ImageTextureTest, MipmappedPictureHasTheMipmapChainAndItsFilters) {
  const std::string path = dir.File("mipmapped.tqz");
  testsupport::WriteTestPicture(path, testsupport::PatternPicture(32, 16, 3, 2));
  const DecodedPicture decoded = testsupport::DecodeForTest(path);
  texture::ImageTexture* texture = texture::Load(path, 3, true);
  EXPECT_EQ(BoundTexture(), texture->Name);
  EXPECT_EQ(TexParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);
  EXPECT_EQ(TexParameter(GL_TEXTURE_MAG_FILTER), GL_NEAREST);
  EXPECT_EQ(TexParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
  EXPECT_EQ(TexParameter(GL_TEXTURE_WRAP_T), GL_REPEAT);
  EXPECT_EQ(LevelWidth(1), 16);
  EXPECT_EQ(LevelWidth(5), 1);
  ExpectTexelsEqualPicture(texture->Name, decoded);
  texture::Destroy(texture);
}

TEST_F(ImageTextureTest, MipmappedIsMagnifiedNearestAndPlainLinear) {
  const std::string path = dir.File("small.tqz");
  testsupport::WriteTestPicture(path, testsupport::BlockPicture(4, 4, 3, 4), 0);
  const DecodedPicture decoded = testsupport::DecodeForTest(path);
  std::set<uint32_t> texelColours(decoded.Rgb.begin(), decoded.Rgb.end());
  ASSERT_GT(texelColours.size(), 8u);

  texture::ImageTexture* mipmapped = texture::Load(path, 3, true);
  const std::set<uint32_t> nearest = DrawMagnifiedColours();
  for (uint32_t colour : nearest)
    EXPECT_TRUE(texelColours.count(colour)) << "colour 0x" << std::hex << colour;
  texture::Destroy(mipmapped);

  texture::ImageTexture* plain = texture::Load(path, 3, false);
  const std::set<uint32_t> linear = DrawMagnifiedColours();
  EXPECT_GT(linear.size(), 4 * texelColours.size()) << "linear sampling blends texels";
  texture::Destroy(plain);
}

TEST_F(ImageTextureTest, GreyPictureBecomesAGreyTexture) {
  // Six columns: rows of one byte per pixel that are not 4-byte aligned. (GLU's
  // mipmap build resizes to powers of two, so the mipmapped case is 8 wide.)
  GLint alignmentBefore = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignmentBefore);
  for (bool mipmapped : {false, true}) {
    const std::string path = dir.File(mipmapped ? "grey8.tqz" : "grey6.tqz");
    testsupport::WriteTestPicture(path, testsupport::PatternPicture(mipmapped ? 8 : 6, 4, 1, 3),
                                  0);
    const DecodedPicture decoded = testsupport::DecodeForTest(path);
    texture::ImageTexture* texture = texture::Load(path, 3, mipmapped);
    EXPECT_EQ(texture->Width, decoded.Width);
    EXPECT_EQ(texture->Height, 4);
    ExpectTexelsEqualPicture(texture->Name, decoded);
    texture::Destroy(texture);
  }
  GLint alignmentAfter = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignmentAfter);
  EXPECT_EQ(alignmentAfter, alignmentBefore);
}

TEST_F(ImageTextureTest, FileNameIsCutTo255Characters) {
  // The first 255 characters name an existing picture; the rest would not.
  std::string cut = dir.File("");
  cut += std::string(255 - cut.size() - 4, 'p') + ".tqz";
  ASSERT_EQ(cut.size(), 255u);
  testsupport::WriteTestPicture(cut, testsupport::PatternPicture(8, 8, 3, 4), 1);
  texture::ImageTexture* texture = texture::Load(cut + ".missing", 3, false);
  EXPECT_EQ(texture->Width, 8);
  texture::Destroy(texture);
}

TEST_F(ImageTextureTest, DestroyDeletesTheTextureName) {
  const std::string path = dir.File("gone.tqz");
  testsupport::WriteTestPicture(path, testsupport::PatternPicture(8, 8, 3, 5), 1);
  texture::ImageTexture* texture = texture::Load(path, 3, false);
  const GLuint name = texture->Name;
  ASSERT_TRUE(glIsTexture(name));
  texture::Destroy(texture);
  EXPECT_FALSE(glIsTexture(name));
}

// A well-formed grey picture of width x height zeros, every coefficient a Zero symbol.
void WriteZeroSymbolPicture(const std::string& path, int width, int height) {
  codec::ImageHeader header{};
  std::memcpy(header.Magic, "TQZ", 3);
  header.Width = static_cast<uint16_t>(width);
  header.Height = static_cast<uint16_t>(height);
  header.BitsPerPixel = 8;
  header.SymbolCount[0] = static_cast<uint32_t>(width * height);
  header.ValueBits = 8;
  std::vector<char> bytes(sizeof header + 16 + (header.SymbolCount[0] + 3) / 4, 0);
  std::memcpy(bytes.data(), &header, sizeof header);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

// The error box: no display, so its caption and text go to standard error; the
// program ends with exit code 0.
void LoadWithoutDisplay(const std::string& path) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  texture::Load(path, 3, false);
  std::fprintf(stderr, "Load returned\n");
  std::exit(1);
}

using ImageTextureDeathTest = ImageTextureTest;

TEST_F(ImageTextureDeathTest, UnloadablePicturesShowTheErrorAndEnd) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* name;
    int width, height, bits;
  };
  for (const Case& c : {Case{"height0.tqz", 16, 0, 24}, Case{"width0-height0.tqz", 0, 0, 24},
                        Case{"grey-height0.tqz", 8, 0, 8}, Case{"bits16.tqz", 16, 16, 16},
                        Case{"bits32.tqz", 16, 16, 32}, Case{"bits0.tqz", 16, 16, 0}}) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(c.name);
    testsupport::WriteHeaderOnlyPicture(path, c.width, c.height, c.bits);
    EXPECT_EXIT(LoadWithoutDisplay(path), ::testing::ExitedWithCode(0),
                "cvnTexture.*Could not load Texture");
  }
  // A picture without columns is an empty texture, plain or mipmapped (the box would
  // end the run with code 0, so the load runs in a child that reports the texture).
  for (bool mipmapped : {false, true}) {
    const std::string path = dir.File("width0.tqz");
    testsupport::WriteHeaderOnlyPicture(path, 0, 16, 24);
    auto loadEmpty = [&] {
      texture::ImageTexture* texture = texture::Load(path, 3, mipmapped);
      std::fprintf(stderr, "%d x %d, bound %d, level 0 width %d\n", texture->Width,
                   texture->Height, BoundTexture() == texture->Name, LevelWidth(0));
      texture::Destroy(texture);
      std::exit(3);
    };
    EXPECT_EXIT(loadEmpty(), ::testing::ExitedWithCode(3), "0 x 16, bound 1, level 0 width 0");
  }
  // Pictures that would decode but are wider or taller than the GL's largest texture.
  GLint largest = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
  ASSERT_LT(largest, 65534);
  for (auto [width, height] : {std::pair{largest + 2, 2}, std::pair{2, largest + 2}}) {
    const std::string path = dir.File("large.tqz");
    WriteZeroSymbolPicture(path, width, height);
    EXPECT_EXIT(LoadWithoutDisplay(path), ::testing::ExitedWithCode(0),
                "cvnTexture.*Could not load Texture");
  }
}

class CanvasTextureTest : public testsupport::OffscreenGLTest {};

TEST_F(CanvasTextureTest, SetPixelWritesRgbaInsideAndNothingOutside) {
  texture::CanvasTexture* canvas = texture::Create(8, 4, 4, false);
  EXPECT_EQ(BoundTexture(), canvas->Name);
  const std::vector<uint8_t> texelsBefore = testsupport::ReadTextureRGBA(canvas->Name);

  texture::SetPixelRGBA(canvas, 3, 2, 10, 20, 30, 40);
  const uint8_t* pixel = canvas->Pixels + 4 * (2 * 8 + 3);
  EXPECT_EQ(pixel[0], 10);
  EXPECT_EQ(pixel[1], 20);
  EXPECT_EQ(pixel[2], 30);
  EXPECT_EQ(pixel[3], 40);
  texture::SetPixelRGBA(canvas, 7, 3, 1, 2, 3, 4);  // the last pixel
  EXPECT_EQ(canvas->Pixels[4 * 31 + 3], 4);

  const std::vector<uint8_t> snapshot(canvas->Pixels, canvas->Pixels + 8 * 4 * 4);
  const std::initializer_list<std::pair<int32_t, int32_t>> outside = {
      {-1, 0}, {8, 0}, {0, -1}, {0, 4}, {-1, -1}, {8, 4}, {INT32_MIN, 0}, {0, INT32_MAX}};
  for (auto [x, y] : outside)
    texture::SetPixelRGBA(canvas, x, y, 255, 255, 255, 255);
  EXPECT_EQ(std::vector<uint8_t>(canvas->Pixels, canvas->Pixels + 8 * 4 * 4), snapshot);

  // Nothing reaches OpenGL before Upload.
  EXPECT_EQ(testsupport::ReadTextureRGBA(canvas->Name), texelsBefore);
  texture::Destroy(canvas);
}

TEST_F(CanvasTextureTest, UploadShowsTheNewPixelsUnderTheNewName) {
  texture::CanvasTexture* canvas = texture::Create(16, 8, 4, false);
  for (int round = 1; round <= 3; ++round) {
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 16; ++x)
        texture::SetPixelRGBA(canvas, x, y, uint8_t(x * 16 + round), uint8_t(y * 32),
                              uint8_t(round * 50), uint8_t(255 - x));
    const GLuint before = canvas->Name;
    texture::Upload(canvas);
    EXPECT_NE(canvas->Name, 0u);
    EXPECT_EQ(BoundTexture(), canvas->Name);
    if (canvas->Name != before) {
      EXPECT_FALSE(glIsTexture(before)) << "the old name is deleted";
    }
    EXPECT_EQ(TexParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(TexParameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(TexParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(TexParameter(GL_TEXTURE_WRAP_T), GL_REPEAT);
    EXPECT_EQ(testsupport::ReadTextureRGBA(canvas->Name),
              std::vector<uint8_t>(canvas->Pixels, canvas->Pixels + 16 * 8 * 4))
        << "round " << round;
  }
  texture::Destroy(canvas);
}

TEST_F(CanvasTextureTest, MipmappedCanvasBuildsTheChainAtEveryUpload) {
  texture::CanvasTexture* canvas = texture::Create(8, 8, 4, true);
  EXPECT_EQ(TexParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);
  EXPECT_EQ(TexParameter(GL_TEXTURE_MAG_FILTER), GL_NEAREST);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) texture::SetPixelRGBA(canvas, x, y, 200, 100, 50, 255);
  texture::Upload(canvas);
  EXPECT_EQ(TexParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);
  const std::vector<uint8_t> smallest = testsupport::ReadTextureRGBA(canvas->Name, 3);
  EXPECT_EQ(smallest, (std::vector<uint8_t>{200, 100, 50, 255}));
  texture::Destroy(canvas);
}

TEST_F(CanvasTextureTest, ThreeComponentCanvasIsOpaque) {
  texture::CanvasTexture* canvas = texture::Create(4, 4, 3, false);
  texture::SetPixelRGBA(canvas, 3, 3, 9, 8, 7, 0);
  texture::Upload(canvas);
  const std::vector<uint8_t> texels = testsupport::ReadTextureRGBA(canvas->Name);
  ASSERT_EQ(texels.size(), 64u);
  EXPECT_EQ(std::vector<uint8_t>(texels.end() - 4, texels.end()),
            (std::vector<uint8_t>{9, 8, 7, 255}));
  texture::Destroy(canvas);
}

}  // namespace
