#include "demo/startup.h"

#include "demo/gl_state.h"
#include "framework/particle/particle.h"
#include "framework/texture/texture.h"
#include "scenes/globals.h"
#include "scenes/plasma.h"

namespace demo {

void BuildTables() {
  BuildCosTable();
  scenes::BuildSinTab();
}

void LoadTextureBank() {
  texture::TextureBank& bank = scenes::Textures;
  bank.intro1 = texture::Load("data/intro1.tqz", 3, false);
  bank.checkers = texture::Load("data/checkers.tqz", 3, false);
  bank.checkers2 = texture::Load("data/checkers2.tqz", 3, false);
  bank.flare = texture::Load("data/flare.tqz", 3, false);
  bank.flare2 = texture::Load("data/flare2.tqz", 3, true);
  bank.greets1 = texture::Load("data/greets1.tqz", 3, true);
  bank.greets2 = texture::Load("data/greets2.tqz", 3, true);
  bank.greets3 = texture::Load("data/greets3.tqz", 3, false);
  bank.canvas = texture::Create(256, 256, 4, false);
}

void CreateParticlePool() { scenes::ParticlePool = particle::Create(400); }

void ResetSceneGlobals() {
  scenes::SpinAngle = 0.0;
  scenes::ScenePhase = 10;
  scenes::FlashCounter = 0;
}

void DestroyTextureBank() {
  texture::TextureBank& bank = scenes::Textures;
  for (texture::ImageTexture** slot :
       {&bank.loading, &bank.intro1, &bank.checkers, &bank.checkers2, &bank.flare,
        &bank.flare2, &bank.greets1, &bank.greets2, &bank.greets3}) {
    texture::Destroy(*slot);
    *slot = nullptr;
  }
}

void DestroyParticlePool() {
  particle::Destroy(scenes::ParticlePool);
  scenes::ParticlePool = nullptr;
}

}  // namespace demo
