// Records the batches and eye-space vertices the scenes send, through the linker's
// --wrap of glBegin, glColor4f and glVertex3d (see extra.cmake). The calls still
// reach OpenGL; recording only happens between Start and Stop.
#pragma once

#include <GL/gl.h>

#include <array>
#include <cstddef>
#include <vector>

namespace recorder {

struct Vertex {
  double x, y, z;  // eye space
  float alpha;     // of the last glColor4f
};

struct Batch {
  GLenum mode;
  std::array<double, 16> modelview;  // column-major, as current at glBegin
  std::vector<Vertex> vertices;      // glVertex3d calls
};

void Start();
void Stop();
const std::vector<Batch>& Batches();

// The recorded GL_QUADS vertices, four to a quad, across all batches.
std::vector<std::array<Vertex, 4>> Quads();
// The mean of a quad's corners.
Vertex Centre(const std::array<Vertex, 4>& quad);

}  // namespace recorder
