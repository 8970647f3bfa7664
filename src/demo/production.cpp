// The driver's loading and release of the production, shared by every platform's
// program and the offline renderer.
#include "demo/driver.h"
#include "demo/startup.h"

namespace demo {

void LoadProduction() {
  BuildTables();
  LoadTextureBank();
  CreateParticlePool();
  ResetSceneGlobals();
}

void ReleaseProduction() {
  DestroyTextureBank();
  DestroyParticlePool();
}

}  // namespace demo
