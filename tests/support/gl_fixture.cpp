#include "support/gl_fixture.h"

#include <GL/gl.h>

#include "demo/gl_state.h"
#include "framework/window/window.h"

namespace testsupport {

bool OpenTestContext(int width, int height) {
  if (!window::OpenOffscreenContext(width, height)) return false;
  demo::InitGLState(width, height);
  return true;
}

void OffscreenGLTest::SetUpTestSuite() { ASSERT_TRUE(OpenTestContext(Width, Height)); }

void OffscreenGLTest::TearDownTestSuite() { window::CloseOffscreenContext(); }

void OffscreenGLTest::SetUp() {
  demo::InitGLState(Width, Height);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

std::vector<Rgba> ReadFrame(int width, int height) {
  std::vector<Rgba> pixels(static_cast<size_t>(width) * height);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

Rgba ReadPixel(int x, int y) {
  Rgba p{};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &p);
  return p;
}

}  // namespace testsupport
