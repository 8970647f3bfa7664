// The field of 85 glowing tiles turning and drifting towards the viewer.
#pragma once

#include <cstdint>

namespace scenes {

// The tiles in seven rows (28001 to 35000 ms).
void FlareFieldScene();
// Marks the scene as set up and starts Progress from 0.
void FlareFieldSetup();
// One tile of column value v in the row at height y: three stacked, turned quads.
// Expects texturing on with flare2 bound; loads its own modelview matrix and
// leaves the colour of its last quad.
void DrawFlareTile(int32_t v, double y);

}  // namespace scenes
