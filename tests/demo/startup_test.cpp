// The driver's loading steps and their shutdown counterparts, and the scene-test
// fixture built on them.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "demo/startup.h"
#include "framework/particle/random.h"
#include "framework/texture/texture.h"
#include "scenes/globals.h"
#include "support/gl_fixture.h"
#include "support/scene_fixture.h"
#include "support/test_pictures.h"

namespace {

struct Slot {
  const char* file;
  texture::ImageTexture* texture::TextureBank::*slot;
  bool mipmapped;
};

// Each picture gets its own size, so a slot's size tells which file it holds.
const Slot Slots[] = {
    {"intro1", &texture::TextureBank::intro1, false},
    {"checkers", &texture::TextureBank::checkers, false},
    {"checkers2", &texture::TextureBank::checkers2, false},
    {"flare", &texture::TextureBank::flare, false},
    {"flare2", &texture::TextureBank::flare2, true},
    {"greets1", &texture::TextureBank::greets1, true},
    {"greets2", &texture::TextureBank::greets2, true},
    {"greets3", &texture::TextureBank::greets3, false},
};

class StartupTest : public testsupport::OffscreenGLTest {};

TEST_F(StartupTest, LoadsEachPictureIntoItsSlotAndReleasesAllButTheCanvas) {
  testsupport::TempDir dir;
  std::filesystem::create_directory(dir.File("data"));
  int width = 8;
  for (const Slot& s : Slots) {
    testsupport::WriteTestPicture(dir.File("data/") + s.file + ".tqz",
                                  testsupport::PatternPicture(width, 8, 3, width), 1);
    width += 8;
  }
  {
    testsupport::ScopedWorkingDirectory cwd(dir.Path());
    demo::LoadTextureBank();
  }

  texture::TextureBank& bank = scenes::Textures;
  std::vector<GLuint> names;
  width = 8;
  for (const Slot& s : Slots) {
    SCOPED_TRACE(s.file);
    texture::ImageTexture* t = bank.*(s.slot);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Width, width);
    width += 8;
    glBindTexture(GL_TEXTURE_2D, t->Name);
    GLint minFilter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(minFilter, s.mipmapped ? GL_LINEAR_MIPMAP_NEAREST : GL_LINEAR);
    names.push_back(t->Name);
  }
  ASSERT_NE(bank.canvas, nullptr);
  EXPECT_EQ(bank.canvas->Width, 256);
  EXPECT_EQ(bank.canvas->Height, 256);
  EXPECT_EQ(bank.canvas->Components, 4);
  EXPECT_FALSE(bank.canvas->Mipmapped);

  demo::DestroyTextureBank();
  for (const Slot& s : Slots) EXPECT_EQ(bank.*(s.slot), nullptr) << s.file;
  for (GLuint name : names) EXPECT_FALSE(glIsTexture(name));
  ASSERT_NE(bank.canvas, nullptr);
  EXPECT_TRUE(glIsTexture(bank.canvas->Name)) << "the canvas lives to the process end";
  texture::Destroy(bank.canvas);
  bank.canvas = nullptr;
}

// The fixture the scene tests build on: every slot filled, and each test starts
// from the driver's start state whatever the previous test left.
class SceneFixtureTest : public testsupport::SceneTest {};

TEST_F(SceneFixtureTest, FillsEverySlotAndThePool) {
  const texture::TextureBank& bank = scenes::Textures;
  for (texture::ImageTexture* t : {bank.loading, bank.intro1, bank.checkers, bank.checkers2,
                                   bank.flare, bank.flare2, bank.greets1, bank.greets2,
                                   bank.greets3}) {
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(glIsTexture(t->Name));
    EXPECT_GT(t->Width, 0);
  }
  ASSERT_NE(bank.canvas, nullptr);
  ASSERT_NE(scenes::ParticlePool, nullptr);
  EXPECT_EQ(scenes::CosTable[1], 2.0);
}

TEST_F(SceneFixtureTest, EveryTestStartsFromTheDriversStartState) {
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(scenes::ScenePhase, 10);
    EXPECT_EQ(scenes::FlashCounter, 0);
    EXPECT_EQ(scenes::SpinAngle, 0.0);
    EXPECT_EQ(scenes::ParticlePool->Particles[1].X, 0.0);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    const int32_t first = particle::Random(1000000);
    // Mess everything up, then start the next round as the fixture would.
    scenes::ScenePhase = 23;
    scenes::FlashCounter = 7;
    scenes::SpinAngle = 12.0;
    scenes::ParticlePool->Particles[1].X = 5.0;
    glEnable(GL_TEXTURE_2D);
    TearDown();
    SetUp();
    EXPECT_EQ(particle::Random(1000000), first) << "the seed is fixed";
    particle::SeedRandom(1);
  }
}

}  // namespace
