// Corvane particle unit (error caption "cvnParticle"): a fixed pool of 5000
// particle records that scenes fill, move and draw themselves.
#pragma once

#include <cstdint>

namespace particle {

struct Particle {
  double X;       // world units
  double Y;
  double Z;
  int32_t Tag;    // 0 at emission, never read
  int32_t SignY;  // drift direction in y: -1 or +1
  int32_t SignZ;  // drift direction in z: -1 or +1
  double Speed;   // distance moved along -x per frame
  double Aux1;    // 0 at emission, never read
  double Aux2;    // 0 at emission, never read
};

constexpr int32_t PoolCapacity = 5000;

// Records indexed 1 to 5000: Particles[1] is the first record.
struct ParticleArray {
  Particle Records[PoolCapacity];
  Particle& operator[](int32_t i) { return Records[i - 1]; }
  const Particle& operator[](int32_t i) const { return Records[i - 1]; }
};

struct ParticleSystem {
  int32_t Header;           // zero, never used
  ParticleArray Particles;  // always 5000 records
};

// A zero-filled pool; a count above 5000 shows "Too many Particles initialized".
ParticleSystem* Create(int32_t count);
void Destroy(ParticleSystem* system);

// The particle streams' emission rule: X := startX, then the random Y, Z, signs
// and speed, drawn in that order.
void EmitParticle(Particle& p, double startX);

}  // namespace particle
