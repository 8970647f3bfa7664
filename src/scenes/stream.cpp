// The particle stream: records 1 to 400 of the pool drifting along the room's
// -x axis through the star, spreading sideways near its centre.
#include <GL/gl.h>

#include <cstdint>
#include <limits>

#include "framework/particle/particle.h"
#include "scenes/globals.h"
#include "scenes/model_frame.h"
#include "scenes/star_stream.h"

namespace scenes {

namespace {

constexpr int32_t kStreamRecords = 400;

// A double times 20 (five bits) needs 58 significant bits to be held exactly.
static_assert(std::numeric_limits<long double>::digits >= 58,
              "the spreading index needs a long double wider than double");

void EyeVertex(const Point3& v) { glVertex3d(v.x, v.y, v.z); }

}  // namespace

void DrawStream(std::optional<double> spin) {
  // Each square is placed in a frame of its own, computed here and sent in eye
  // space, so the modelview stays the identity from square to square. The turns
  // before and after the record's own move are the same for every record.
  ModelFrame turned;
  turned.Translate(0, 0, -25);
  turned.Rotate(AngleX, 1, 0, 0);
  turned.Rotate(AngleY, 0, 1, 0);
  if (spin) turned.Rotate(*spin, 1, 0, 0);
  // Undoing the turns makes the square face the viewer.
  ModelFrame unturned;
  if (spin) unturned.Rotate(-*spin, 1, 0, 0);
  unturned.Rotate(-AngleY, 0, 1, 0);
  unturned.Rotate(-AngleX, 1, 0, 0);

  glLoadIdentity();
  for (int32_t i = 1; i <= kStreamRecords; ++i) {
    const particle::Particle& p = ParticlePool->Particles[i];
    ModelFrame frame = turned;
    frame.Translate(p.X, p.Y, p.Z);
    frame.Multiply(unturned);
    glBegin(GL_QUADS);
    glTexCoord2f(1, 1), EyeVertex(frame.Apply(-0.3, -0.3, 0));
    glTexCoord2f(0, 1), EyeVertex(frame.Apply(0.3, -0.3, 0));
    glTexCoord2f(0, 0), EyeVertex(frame.Apply(0.3, 0.3, 0));
    glTexCoord2f(1, 0), EyeVertex(frame.Apply(-0.3, 0.3, 0));
    glEnd();
  }
}

void AdvanceStream() {
  for (int32_t i = 1; i <= kStreamRecords; ++i) {
    particle::Particle& p = ParticlePool->Particles[i];
    p.X = p.X - p.Speed;
    // The spreading zone: the nearer the centre, the larger the table entry. Below
    // X = 0.05 the index is 0, whose entry is 0, so the record moves nothing. The
    // index truncates the exact product: in long double it is exact, whereas the
    // double product rounds up to the next whole number just below a multiple of 0.05.
    if (0 < p.X && p.X <= 13) {
      const int32_t n = static_cast<int32_t>(static_cast<long double>(p.X) * 20);
      p.Y = p.Y + CosTable[n] * p.SignY / 12;
      p.Z = p.Z + CosTable[n] * p.SignZ / 12;
    }
    if (p.X < -20) particle::EmitParticle(p, 20);
  }
}

}  // namespace scenes
