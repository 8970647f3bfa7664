#include "support/call_log.h"

#include <gtest/gtest.h>

extern "C" {
void __real_glBegin(GLenum mode);
void __real_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
void __real_glColor4d(GLdouble r, GLdouble g, GLdouble b, GLdouble a);
void __real_glTexCoord2f(GLfloat s, GLfloat t);
void __real_glTexCoord2d(GLdouble s, GLdouble t);
void __real_glVertex3f(GLfloat x, GLfloat y, GLfloat z);
void __real_glVertex3d(GLdouble x, GLdouble y, GLdouble z);
void __real_glLoadIdentity();
void __real_glCallList(GLuint list);
void __real_glNewList(GLuint list, GLenum mode);
void __real_glEndList();
}

namespace calllog {

namespace {
bool recording = false;
bool compiling = false;
bool identityLoaded = false;
std::vector<Batch> batches;
std::array<double, 16> modelview{};
std::array<float, 4> colour{1, 1, 1, 1};
std::array<float, 2> tex{0, 0};

void Record(double x, double y, double z) {
  if (!recording || compiling || batches.empty()) return;
  const auto& m = modelview;
  batches.back().vertices.push_back({{m[0] * x + m[4] * y + m[8] * z + m[12],
                                      m[1] * x + m[5] * y + m[9] * z + m[13],
                                      m[2] * x + m[6] * y + m[10] * z + m[14]},
                                     colour,
                                     tex});
}
}  // namespace

void Start() {
  batches.clear();
  identityLoaded = false;
  recording = true;
}

void Stop() { recording = false; }

const std::vector<Batch>& Batches() { return batches; }

std::vector<Vertex> QuadVertices() {
  std::vector<Vertex> all;
  for (const Batch& b : batches) {
    if (b.mode == GL_QUADS) all.insert(all.end(), b.vertices.begin(), b.vertices.end());
  }
  return all;
}

std::vector<std::array<Vertex, 4>> Quads() {
  const std::vector<Vertex> all = QuadVertices();
  std::vector<std::array<Vertex, 4>> quads;
  for (std::size_t k = 0; k + 3 < all.size(); k += 4) {
    quads.push_back({{all[k], all[k + 1], all[k + 2], all[k + 3]}});
  }
  return quads;
}

Vertex Centre(const std::array<Vertex, 4>& quad) {
  Vertex c{{0, 0, 0}, quad[0].colour, quad[0].tex};
  for (const Vertex& v : quad) {
    for (int i = 0; i < 3; ++i) c.eye[i] += v.eye[i] / 4;
  }
  return c;
}

std::vector<Vertex> Drawn(const std::function<void()>& draw) {
  Start();
  draw();
  Stop();
  return QuadVertices();
}

void ExpectSameVertices(const std::vector<Vertex>& got, const std::vector<Vertex>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t k = 0; k < got.size(); ++k) {
    for (int c = 0; c < 3; ++c) ASSERT_NEAR(got[k].eye[c], want[k].eye[c], 2e-4) << k;
    ASSERT_EQ(got[k].colour, want[k].colour) << k;
    ASSERT_EQ(got[k].tex, want[k].tex) << k;
  }
}

}  // namespace calllog

using namespace calllog;

extern "C" {

void __wrap_glBegin(GLenum mode) {
  if (recording && !compiling) {
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview.data());
    batches.push_back({mode, identityLoaded, modelview, {}});
  }
  __real_glBegin(mode);
}
void __wrap_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
  colour = {r, g, b, a};
  __real_glColor4f(r, g, b, a);
}
void __wrap_glColor4d(GLdouble r, GLdouble g, GLdouble b, GLdouble a) {
  colour = {static_cast<float>(r), static_cast<float>(g), static_cast<float>(b),
            static_cast<float>(a)};
  __real_glColor4d(r, g, b, a);
}
void __wrap_glTexCoord2f(GLfloat s, GLfloat t) {
  tex = {s, t};
  __real_glTexCoord2f(s, t);
}
void __wrap_glTexCoord2d(GLdouble s, GLdouble t) {
  tex = {static_cast<float>(s), static_cast<float>(t)};
  __real_glTexCoord2d(s, t);
}
void __wrap_glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  Record(x, y, z);
  __real_glVertex3f(x, y, z);
}
void __wrap_glVertex3d(GLdouble x, GLdouble y, GLdouble z) {
  Record(x, y, z);
  __real_glVertex3d(x, y, z);
}
void __wrap_glLoadIdentity() {
  if (recording && !compiling) identityLoaded = true;
  __real_glLoadIdentity();
}
void __wrap_glCallList(GLuint list) {
  if (recording && !compiling) batches.push_back({0, identityLoaded, {}, {}});
  __real_glCallList(list);
}
void __wrap_glNewList(GLuint list, GLenum mode) {
  compiling = true;
  __real_glNewList(list, mode);
}
void __wrap_glEndList() {
  compiling = false;
  __real_glEndList();
}

}  // extern "C"
