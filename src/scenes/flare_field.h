// The field of 85 glowing tiles.
#pragma once

namespace scenes {

void FlareFieldScene();

}  // namespace scenes
