// The OpenGL entry points above version 1.1 that the window unit uses (framebuffer
// objects, for a picture scaled to its window). Windows' opengl32.dll exports only
// OpenGL 1.1; the rest is bound through wglGetProcAddress once a context is current.
#pragma once

namespace window {

// The current context's function of this name, or null where the driver has none.
// Some drivers answer an unknown name with 1, 2, 3 or -1 instead of null: those are
// null here too.
void* GLEntryPoint(const char* name);

// Binds them for the current context.
void BindGLEntryPoints();

// Whether the driver has framebuffer objects (every entry point bound).
bool HasFramebufferObjects();

}  // namespace window
