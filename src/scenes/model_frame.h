// A modelview frame kept on the CPU and moved with OpenGL's own translate and
// rotate rules, so that many small quads, each in a frame of its own, reach OpenGL
// already in eye space under one identity modelview. On a software renderer every
// modelview change between two batches costs a pipeline revalidation that is dearer
// than the quad itself.
#pragma once

#include <cmath>
#include <numbers>

namespace scenes {

struct Point3 {
  double x, y, z;
};

class ModelFrame {
 public:
  // The identity, as glLoadIdentity.
  ModelFrame() = default;

  // As glTranslated: the frame moves by (x, y, z) along its own axes.
  void Translate(double x, double y, double z) {
    for (int r = 0; r < 3; ++r) m_[r][3] += m_[r][0] * x + m_[r][1] * y + m_[r][2] * z;
  }

  // As glRotated: the frame turns by angle degrees, counter-clockwise about the
  // axis (x, y, z) of its own.
  void Rotate(double angle, double x, double y, double z) {
    const double length = std::sqrt(x * x + y * y + z * z);
    if (length == 0) return;
    x /= length, y /= length, z /= length;
    const double radians = angle * std::numbers::pi / 180;
    const double c = std::cos(radians), s = std::sin(radians), t = 1 - c;
    const double rot[3][3] = {{t * x * x + c, t * x * y - s * z, t * x * z + s * y},
                              {t * x * y + s * z, t * y * y + c, t * y * z - s * x},
                              {t * x * z - s * y, t * y * z + s * x, t * z * z + c}};
    for (int r = 0; r < 3; ++r) {
      const double row[3] = {m_[r][0], m_[r][1], m_[r][2]};
      for (int k = 0; k < 3; ++k) {
        m_[r][k] = row[0] * rot[0][k] + row[1] * rot[1][k] + row[2] * rot[2][k];
      }
    }
  }

  // As glMultMatrixd: the frame continues into other (other applies first).
  void Multiply(const ModelFrame& other) {
    for (int r = 0; r < 3; ++r) {
      const double row[4] = {m_[r][0], m_[r][1], m_[r][2], m_[r][3]};
      for (int k = 0; k < 4; ++k) {
        m_[r][k] = row[0] * other.m_[0][k] + row[1] * other.m_[1][k] + row[2] * other.m_[2][k];
      }
      m_[r][3] += row[3];
    }
  }

  // The eye-space position of the point (x, y, z) of this frame.
  Point3 Apply(double x, double y, double z) const {
    return {m_[0][0] * x + m_[0][1] * y + m_[0][2] * z + m_[0][3],
            m_[1][0] * x + m_[1][1] * y + m_[1][2] * z + m_[1][3],
            m_[2][0] * x + m_[2][1] * y + m_[2][2] * z + m_[2][3]};
  }

 private:
  // Rows of the upper 3 x 4 part; the bottom row stays (0, 0, 0, 1).
  double m_[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
};

}  // namespace scenes
