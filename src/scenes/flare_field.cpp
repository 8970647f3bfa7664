#include "scenes/flare_field.h"

#include "scenes/globals.h"

namespace scenes {

void FlareFieldScene() {}

}  // namespace scenes
