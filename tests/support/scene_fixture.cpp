#include "support/scene_fixture.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/png_io.h"
#include "demo/gl_state.h"
#include "demo/startup.h"
#include "demo/timeline.h"
#include "framework/particle/random.h"
#include "framework/texture/texture.h"
#include "scenes/globals.h"
#include "support/test_pictures.h"

namespace testsupport {

namespace {

const char* const PictureNames[] = {"loading", "intro1",  "checkers", "checkers2", "flare",
                                    "flare2",  "greets1", "greets2",  "greets3"};

}  // namespace

void SceneTest::SetUpTestSuite() {
  OffscreenGLTest::SetUpTestSuite();
  if (::testing::Test::HasFatalFailure()) return;
  // The production's own pictures, which the build makes (target lumetra_data).
  for (const char* name : PictureNames) {
    const std::string file = std::string(LUMETRA_BUILD_DIR) + "/data/" + name + ".tqz";
    ASSERT_TRUE(std::filesystem::exists(file)) << file << " is missing: build lumetra_data";
  }
  demo::BuildTables();
  {
    ScopedWorkingDirectory pictures(LUMETRA_BUILD_DIR);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    scenes::Textures.loading = texture::Load("data/loading.tqz", 3, false);
    demo::LoadTextureBank();
  }
  demo::CreateParticlePool();
}

void SceneTest::TearDownTestSuite() {
  demo::DestroyParticlePool();
  demo::DestroyTextureBank();
  // The driver leaves the canvas to the process end; a suite gives it back with
  // its context.
  texture::Destroy(scenes::Textures.canvas);
  scenes::Textures.canvas = nullptr;
  OffscreenGLTest::TearDownTestSuite();
}

void SceneTest::SetUp() {
  OffscreenGLTest::SetUp();

  glDisable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, 0);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glDisable(GL_CULL_FACE);
  glLineWidth(1.0f);
  glPointSize(1.0f);

  demo::ResetSceneGlobals();
  scenes::SceneClock = 0;
  scenes::Progress = 0.0;
  scenes::AngleX = 0.0;
  scenes::AngleY = 0.0;
  scenes::AngleZ = 0.0;
  scenes::RoomList = 0;
  if (scenes::ParticlePool)
    std::memset(static_cast<void*>(scenes::ParticlePool), 0, sizeof(particle::ParticleSystem));
  particle::SeedRandom(1);
}

void RunFramesUpTo(int32_t clock) {
  for (int32_t t = 0; t <= clock; t += 15) demo::DrawTimelineFrame(t);
}

std::vector<Rgba> PictureOfFlares(const std::function<void()>& draw) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, scenes::Textures.flare2->Name);
  glColor4f(1, 1, 1, 1);
  draw();
  glDisable(GL_TEXTURE_2D);
  return ReadFrame(OffscreenGLTest::Width, OffscreenGLTest::Height);
}

void ExpectSamePicture(const std::vector<Rgba>& a, const std::vector<Rgba>& b) {
  ASSERT_EQ(a.size(), b.size());
  int differing = 0, lit = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const int d = std::max({std::abs(a[i].r - b[i].r), std::abs(a[i].g - b[i].g),
                            std::abs(a[i].b - b[i].b)});
    differing += d > 1;
    lit += a[i].r + a[i].g + a[i].b > 0;
  }
  EXPECT_GT(lit, 1000);
  EXPECT_LE(differing, static_cast<int>(a.size() / 200));
}

void SaveFramePng(const std::string& path, int width, int height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  std::string error;
  if (!pngio::WritePng(path, width, height, 4, pixels.data(), true, error))
    std::fprintf(stderr, "SaveFramePng %s: %s\n", path.c_str(), error.c_str());
}

}  // namespace testsupport
