#include "support/scene_fixture.h"

#include <GL/gl.h>

#include <cstdio>
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

void SaveFramePng(const std::string& path, int width, int height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  std::string error;
  if (!pngio::WritePng(path, width, height, 4, pixels.data(), true, error))
    std::fprintf(stderr, "SaveFramePng %s: %s\n", path.c_str(), error.c_str());
}

}  // namespace testsupport
