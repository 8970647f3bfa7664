// The driver's loading steps after the loading screen, and their shutdown
// counterparts; shared by the program and the offline renderer.
#pragma once

namespace demo {

// scenes::CosTable, then scenes::SinTab.
void BuildTables();
// The eight pictures in the driver's order into scenes::Textures, then the canvas.
void LoadTextureBank();
// scenes::ParticlePool with a count of 400.
void CreateParticlePool();
// SpinAngle 0, ScenePhase 10, FlashCounter 0.
void ResetSceneGlobals();
// The picture textures in the shutdown order; the canvas is left to the process end.
void DestroyTextureBank();
void DestroyParticlePool();

}  // namespace demo
