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

}  // namespace window
