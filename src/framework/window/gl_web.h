// The production's OpenGL 1.1 on WebGL 2: immediate mode (glBegin/glEnd with
// per-vertex colour and texture coordinates), the matrix stacks, polygon mode lines
// per facing, display lists, double-typed calls, gluPerspective, gluBuild2DMipmaps and
// the old texture formats. The GL 1.1 entry points themselves are defined in
// gl_web.cpp with C linkage, so the scene code calls them unchanged.
#pragma once

namespace window::glweb {

// Compiles the layer's program on the current WebGL 2 context; false on failure.
bool Init();

// Draws whatever geometry is still queued. Called before the picture is presented or
// read back. True when anything was drawn or cleared since the last call.
bool Flush();

}  // namespace window::glweb
