// White full-screen overlays drawn over a scene: the fade to and from white, the flash.
#pragma once

namespace scenes {

void FadeToWhite();
void FadeFromWhite();
void FlashOverlay();

}  // namespace scenes
