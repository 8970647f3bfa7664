// Stacked plasma layers, recomputed and uploaded every frame (three scenes).
#pragma once

namespace scenes {

void PlasmaScene1();
void PlasmaScene2();
void PlasmaScene3();
void BuildSinTab();

}  // namespace scenes
