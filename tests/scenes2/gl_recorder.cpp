#include "gl_recorder.h"

extern "C" {
void __real_glBegin(GLenum mode);
void __real_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
void __real_glVertex3d(GLdouble x, GLdouble y, GLdouble z);
}

namespace recorder {

namespace {
bool recording = false;
std::vector<Batch> batches;
float alpha = 1;
}  // namespace

void Start() {
  batches.clear();
  recording = true;
}

void Stop() { recording = false; }

const std::vector<Batch>& Batches() { return batches; }

std::vector<std::array<Vertex, 4>> Quads() {
  std::vector<std::array<Vertex, 4>> quads;
  for (const Batch& b : batches) {
    if (b.mode != GL_QUADS) continue;
    for (std::size_t k = 0; k + 3 < b.vertices.size(); k += 4) {
      quads.push_back({{b.vertices[k], b.vertices[k + 1], b.vertices[k + 2], b.vertices[k + 3]}});
    }
  }
  return quads;
}

Vertex Centre(const std::array<Vertex, 4>& quad) {
  Vertex c{0, 0, 0, quad[0].alpha};
  for (const Vertex& v : quad) c.x += v.x / 4, c.y += v.y / 4, c.z += v.z / 4;
  return c;
}

}  // namespace recorder

using namespace recorder;

extern "C" void __wrap_glBegin(GLenum mode) {
  if (recording) {
    Batch batch{mode, {}, {}};
    glGetDoublev(GL_MODELVIEW_MATRIX, batch.modelview.data());
    batches.push_back(batch);
  }
  __real_glBegin(mode);
}

extern "C" void __wrap_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
  alpha = a;
  __real_glColor4f(r, g, b, a);
}

extern "C" void __wrap_glVertex3d(GLdouble x, GLdouble y, GLdouble z) {
  if (recording && !batches.empty()) {
    const auto& m = batches.back().modelview;
    batches.back().vertices.push_back({m[0] * x + m[4] * y + m[8] * z + m[12],
                                       m[1] * x + m[5] * y + m[9] * z + m[13],
                                       m[2] * x + m[6] * y + m[10] * z + m[14], alpha});
  }
  __real_glVertex3d(x, y, z);
}
