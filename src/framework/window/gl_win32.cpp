// The framebuffer-object calls of OpenGL 3.0 under their own names, each forwarding
// to the driver's function that wglGetProcAddress returned for the current context.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>

#include "framework/window/gl_win32.h"

namespace window {
namespace {

PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers;
PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers;
PFNGLBLITFRAMEBUFFERPROC blitFramebuffer;

template <typename Function>
void Bind(Function& function, const char* name) {
  function = reinterpret_cast<Function>(GLEntryPoint(name));
}

}  // namespace

void* GLEntryPoint(const char* name) {
  void* function = reinterpret_cast<void*>(wglGetProcAddress(name));
  const intptr_t value = reinterpret_cast<intptr_t>(function);
  return value >= -1 && value <= 3 ? nullptr : function;
}

void BindGLEntryPoints() {
  Bind(genRenderbuffers, "glGenRenderbuffers");
  Bind(bindRenderbuffer, "glBindRenderbuffer");
  Bind(renderbufferStorage, "glRenderbufferStorage");
  Bind(deleteRenderbuffers, "glDeleteRenderbuffers");
  Bind(genFramebuffers, "glGenFramebuffers");
  Bind(bindFramebuffer, "glBindFramebuffer");
  Bind(framebufferRenderbuffer, "glFramebufferRenderbuffer");
  Bind(checkFramebufferStatus, "glCheckFramebufferStatus");
  Bind(deleteFramebuffers, "glDeleteFramebuffers");
  Bind(blitFramebuffer, "glBlitFramebuffer");
}

bool HasFramebufferObjects() {
  return genRenderbuffers && bindRenderbuffer && renderbufferStorage && deleteRenderbuffers &&
         genFramebuffers && bindFramebuffer && framebufferRenderbuffer &&
         checkFramebufferStatus && deleteFramebuffers && blitFramebuffer;
}

}  // namespace window

// Called only where HasFramebufferObjects() holds.
extern "C" {
void APIENTRY glGenRenderbuffers(GLsizei n, GLuint* names) { window::genRenderbuffers(n, names); }
void APIENTRY glBindRenderbuffer(GLenum target, GLuint name) {
  window::bindRenderbuffer(target, name);
}
void APIENTRY glRenderbufferStorage(GLenum target, GLenum format, GLsizei width, GLsizei height) {
  window::renderbufferStorage(target, format, width, height);
}
void APIENTRY glDeleteRenderbuffers(GLsizei n, const GLuint* names) {
  window::deleteRenderbuffers(n, names);
}
void APIENTRY glGenFramebuffers(GLsizei n, GLuint* names) { window::genFramebuffers(n, names); }
void APIENTRY glBindFramebuffer(GLenum target, GLuint name) {
  if (window::bindFramebuffer) window::bindFramebuffer(target, name);
}
void APIENTRY glFramebufferRenderbuffer(GLenum target, GLenum attachment, GLenum renderTarget,
                                        GLuint name) {
  window::framebufferRenderbuffer(target, attachment, renderTarget, name);
}
GLenum APIENTRY glCheckFramebufferStatus(GLenum target) {
  return window::checkFramebufferStatus(target);
}
void APIENTRY glDeleteFramebuffers(GLsizei n, const GLuint* names) {
  window::deleteFramebuffers(n, names);
}
void APIENTRY glBlitFramebuffer(GLint x0, GLint y0, GLint x1, GLint y1, GLint u0, GLint v0,
                                GLint u1, GLint v1, GLbitfield mask, GLenum filter) {
  window::blitFramebuffer(x0, y0, x1, y1, u0, v0, u1, v1, mask, filter);
}
}
