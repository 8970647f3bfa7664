// The OpenGL entry points above version 1.1 that the window unit uses (framebuffer
// objects, for a picture scaled to its window). Windows' opengl32.dll exports only
// OpenGL 1.1; the rest is bound through wglGetProcAddress once a context is current.
#pragma once

namespace window {

// Binds them for the current context.
void BindGLEntryPoints();

// Whether the driver has framebuffer objects (every entry point bound).
bool HasFramebufferObjects();

}  // namespace window
