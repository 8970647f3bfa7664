// Particle unit: the pool of 5000 zeroed records and the particle streams'
// emission rule.
#include "framework/particle/particle.h"

#include <new>

#include "framework/binfile/binfile.h"
#include "framework/particle/random.h"
#include "framework/window/window.h"

namespace particle {

ParticleSystem* Create(int32_t count) {
  if (count > PoolCapacity) window::ShowError("cvnParticle", "Too many Particles initialized");
  // Value-initialisation zeroes the header and every field of every record. A heap
  // that cannot hold the pool ends the program as the runtime's heap error.
  auto* system = new (std::nothrow) ParticleSystem();
  if (!system) binfile::Fail("", binfile::OutOfMemory);
  return system;
}

void Destroy(ParticleSystem* system) { delete system; }

void EmitParticle(Particle& p, double startX) {
  p.X = startX;
  p.Y = (Random(100) - 50) / 50.0;
  p.Z = (Random(100) - 50) / 20.0;
  p.Tag = 0;
  p.SignY = Random(2) - 1;
  if (p.SignY == 0) p.SignY = 1;
  p.SignZ = Random(2) - 1;
  if (p.SignZ == 0) p.SignZ = 1;
  p.Speed = Random(10) / 40.0 + 0.1;
  p.Aux1 = 0.0;
  p.Aux2 = 0.0;
}

}  // namespace particle
