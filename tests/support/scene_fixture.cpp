#include "support/scene_fixture.h"

#include <GL/gl.h>

#include <string>
#include <vector>

#include "common/png_io.h"
#include "demo/gl_state.h"
#include "demo/startup.h"
#include "demo/timeline.h"
#include "framework/particle/random.h"

namespace testsupport {

void SceneTest::SetUpTestSuite() {
  OffscreenGLTest::SetUpTestSuite();
  demo::BuildTables();
  demo::LoadTextureBank();
  demo::CreateParticlePool();
}

void SceneTest::TearDownTestSuite() {
  demo::DestroyParticlePool();
  demo::DestroyTextureBank();
  OffscreenGLTest::TearDownTestSuite();
}

void SceneTest::SetUp() {
  OffscreenGLTest::SetUp();
  demo::ResetSceneGlobals();
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
  pngio::WritePng(path, width, height, 4, pixels.data(), true, error);
}

}  // namespace testsupport
