#include "scenes/overlays.h"

#include "scenes/globals.h"

namespace scenes {

void FadeToWhite() {}
void FadeFromWhite() {}
void FlashOverlay() {}

}  // namespace scenes
