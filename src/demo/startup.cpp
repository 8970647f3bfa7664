#include "demo/startup.h"

#include "demo/gl_state.h"
#include "scenes/globals.h"
#include "scenes/plasma.h"

namespace demo {

void BuildTables() {
  BuildCosTable();
  scenes::BuildSinTab();
}

void LoadTextureBank() {}
void CreateParticlePool() {}

void ResetSceneGlobals() {
  scenes::SpinAngle = 0.0;
  scenes::ScenePhase = 10;
  scenes::FlashCounter = 0;
}

void DestroyTextureBank() {}
void DestroyParticlePool() {}

}  // namespace demo
