// Logs what the scenes send to OpenGL, through the linker's --wrap (extra.cmake):
// every vertex in eye space with its colour and texture coordinate, and where the
// modelview was last loaded from the identity. The calls still reach OpenGL.
#pragma once

#include <GL/gl.h>

#include <array>
#include <cstddef>
#include <functional>
#include <vector>

namespace calllog {

struct Vertex {
  std::array<double, 3> eye;    // modelview applied
  std::array<float, 4> colour;  // current colour
  std::array<float, 2> tex;     // current texture coordinate
};

struct Batch {
  GLenum mode;  // GL_QUADS, ..., or 0 for a glCallList
  bool identityLoadedBefore;  // a glLoadIdentity ran since Start and before this batch
  std::array<double, 16> modelview;  // column-major, as current at glBegin
  std::vector<Vertex> vertices;
};

void Start();
void Stop();
// Batches drawn between Start and Stop; display-list compilation is left out.
const std::vector<Batch>& Batches();
// All recorded vertices of GL_QUADS batches, in order.
std::vector<Vertex> QuadVertices();
// The same vertices, four to a quad.
std::vector<std::array<Vertex, 4>> Quads();
// The mean of a quad's corners (colour and texture coordinate of the first).
Vertex Centre(const std::array<Vertex, 4>& quad);

// The quad vertices that draw sends, recorded from Start to Stop around it.
std::vector<Vertex> Drawn(const std::function<void()>& draw);
// Same vertices in the same order: eye positions to float matrix precision, colours
// and texture coordinates exactly.
void ExpectSameVertices(const std::vector<Vertex>& got, const std::vector<Vertex>& want);

}  // namespace calllog
