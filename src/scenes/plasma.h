// Stacked plasma layers (three scenes): four large tumbling squares textured with a
// grey plasma that is recomputed on the CPU and uploaded again every frame.
#pragma once

#include <cstdint>

namespace scenes {

extern int32_t PlasmaPhase;  // animation step of the plasma, +1 per frame

// SinTab[i] := 1024 sin(i degrees) truncated toward zero, in extended precision.
void BuildSinTab();

// Recomputes the 256 x 256 plasma on the canvas from PlasmaPhase and uploads it.
void UpdatePlasmaTexture();

// One-time set-ups: marker into ScenePhase, start phase and start angles.
void PlasmaSetup1();
void PlasmaSetup2();
void PlasmaSetup3();

// One frame of each plasma stretch (35001-42000, 42001-49000, 49001-56000 ms).
void PlasmaScene1();
void PlasmaScene2();
void PlasmaScene3();

}  // namespace scenes
