#include "support/gl_fixture.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

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

HighColorFrame::HighColorFrame(int width, int height) {
  glGenFramebuffers(1, &framebuffer_);
  glGenRenderbuffers(2, renderbuffers_);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[0]);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB565, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                            renderbuffers_[0]);
  glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[1]);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                            renderbuffers_[1]);
  EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
  GLint bits[3] = {};
  glGetIntegerv(GL_RED_BITS, &bits[0]);
  glGetIntegerv(GL_GREEN_BITS, &bits[1]);
  glGetIntegerv(GL_BLUE_BITS, &bits[2]);
  EXPECT_TRUE(bits[0] == 5 && bits[1] == 6 && bits[2] == 5) << "not a 5/6/5 frame";
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

HighColorFrame::~HighColorFrame() {
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteRenderbuffers(2, renderbuffers_);
  glDeleteFramebuffers(1, &framebuffer_);
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
