#include "framework/window/picture_framebuffer.h"

#ifdef __EMSCRIPTEN__
#include <GLES3/gl3.h>
#else
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#endif

namespace window {

bool CreatePictureFramebuffer(PictureFramebuffer& picture, int32_t width, int32_t height,
                              int32_t colorBits) {
  glGenRenderbuffers(2, picture.Buffers);
  glBindRenderbuffer(GL_RENDERBUFFER, picture.Buffers[0]);
  glRenderbufferStorage(GL_RENDERBUFFER, colorBits <= 16 ? GL_RGB565 : GL_RGB8, width, height);
  glBindRenderbuffer(GL_RENDERBUFFER, picture.Buffers[1]);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  glGenFramebuffers(1, &picture.Framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, picture.Framebuffer);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                            picture.Buffers[0]);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                            picture.Buffers[1]);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) return true;
  DeletePictureFramebuffer(picture);
  return false;
}

void DeletePictureFramebuffer(PictureFramebuffer& picture) {
  if (!picture.Framebuffer) return;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &picture.Framebuffer);
  glDeleteRenderbuffers(2, picture.Buffers);
  picture = {};
}

void BlitPictureScaled(const PictureFramebuffer& picture, int32_t width, int32_t height,
                       int32_t targetWidth, int32_t targetHeight) {
  int64_t scaledWidth = targetWidth;
  int64_t scaledHeight = scaledWidth * height / width;
  if (scaledHeight > targetHeight) {
    scaledHeight = targetHeight;
    scaledWidth = scaledHeight * width / height;
  }
  const GLint left = static_cast<GLint>((targetWidth - scaledWidth) / 2);
  const GLint bottom = static_cast<GLint>((targetHeight - scaledHeight) / 2);
  // The bars are cleared black whatever the scenes left set for their own clears.
  const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
  GLfloat clearColor[4];
  GLboolean colorMask[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColor);
  glGetBooleanv(GL_COLOR_WRITEMASK, colorMask);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, picture.Framebuffer);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glBlitFramebuffer(0, 0, width, height, left, bottom, left + static_cast<GLint>(scaledWidth),
                    bottom + static_cast<GLint>(scaledHeight), GL_COLOR_BUFFER_BIT, GL_LINEAR);
  if (scissor) glEnable(GL_SCISSOR_TEST);
  glColorMask(colorMask[0], colorMask[1], colorMask[2], colorMask[3]);
  glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);
}

void DrawIntoEachPictureTarget(const PictureFramebuffer& picture, int32_t colorBits,
                               void (*draw)(void*), void* context) {
  draw(context);
  if (picture.Framebuffer) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    draw(context);
    glBindFramebuffer(GL_FRAMEBUFFER, picture.Framebuffer);
    return;
  }
  PictureFramebuffer other;
  if (!CreatePictureFramebuffer(other, 1, 1, colorBits)) return;
  draw(context);
  DeletePictureFramebuffer(other);  // binds the window's again
}

}  // namespace window
