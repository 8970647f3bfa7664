// Records the batches, eye-space vertices and rotations the scenes issue, through
// the linker's --wrap of glBegin, glVertex3d and glRotated (see extra.cmake). The
// calls still reach OpenGL; recording only happens between Start and Stop.
#pragma once

#include <GL/gl.h>

#include <array>
#include <vector>

namespace recorder {

struct Vec3 {
  double x, y, z;
};

struct Batch {
  GLenum mode;
  std::array<double, 16> modelview;  // column-major, as current at glBegin
  std::vector<Vec3> eye;             // glVertex3d vertices in eye space
};

void Start();
void Stop();
const std::vector<Batch>& Batches();
int Rotations();  // glRotated calls while recording

}  // namespace recorder
