#include "reference_drawing.h"

#include <GL/gl.h>

#include <cmath>

#include "framework/particle/particle.h"
#include "scenes/globals.h"
#include "scenes/star_stream.h"

namespace review {

using namespace scenes;

namespace {

void Corner(float s, float t, double x, double y, double z) {
  glTexCoord2f(s, t);
  glVertex3d(x, y, z);
}

}  // namespace

// One tile as its own matrix calls: three batches, the turns accumulating.
void ReferenceFlareTile(int32_t v, double y) {
  const double P = Progress;
  glLoadIdentity();
  glTranslated(v / 3.0, 0, 0);
  glTranslated(0, y, 0);
  glTranslated(0, 0, -20);
  glRotated(2 * v + P, 0, 0, 1);
  glRotated(v, 0, 0, 1);
  glRotated(PulseIndex2, 0, 0, 1);
  auto quad = [](float alpha, double a, double b, double z) {
    glColor4f(1, 1, 1, alpha);
    glBegin(GL_QUADS);
    Corner(1, 1, -a, -b, z);
    Corner(0, 1, a, -b, z);
    Corner(0, 0, a, b, z);
    Corner(1, 0, -a, b, z);
    glEnd();
  };
  quad(0.8f, 1 - std::fabs(v / 15.0), 1 - std::fabs(v / 10.0), -std::fabs(v / 4.0));
  glRotated(v + P + 0.3, 0, 0, 1);
  quad(0.4f, 1 - std::fabs(v / 20.0), 1 - std::fabs(v / 30.0), (1 - std::fabs(v / 5.0)) + P / 5);
  glRotated(v + P + 0.4, 0, 0, 1);
  quad(0.3f, 1 - std::fabs(v / 50.0), 1 - std::fabs(v / 50.0), (1 - std::fabs(v / 5.0)) + P / 2);
}

// The stream as 400 batches, each with its own matrix calls.
void ReferenceStream(std::optional<double> spin) {
  for (int i = 1; i <= 400; ++i) {
    const particle::Particle& p = ParticlePool->Particles[i];
    glLoadIdentity();
    glTranslated(0, 0, -25);
    glRotated(AngleX, 1, 0, 0);
    glRotated(AngleY, 0, 1, 0);
    if (spin) glRotated(*spin, 1, 0, 0);
    glTranslated(p.X, p.Y, p.Z);
    if (spin) glRotated(-*spin, 1, 0, 0);
    glRotated(-AngleY, 0, 1, 0);
    glRotated(-AngleX, 1, 0, 0);
    glBegin(GL_QUADS);
    Corner(1, 1, -0.3, -0.3, 0);
    Corner(0, 1, 0.3, -0.3, 0);
    Corner(0, 0, 0.3, 0.3, 0);
    Corner(1, 0, -0.3, 0.3, 0);
    glEnd();
  }
}

}  // namespace review
