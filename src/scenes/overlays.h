// White full-screen overlays drawn over a scene in the same frame: the fade to and
// from white, and the flash. They share FlashCounter and never clear the frame.
#pragma once

namespace scenes {

// Adds white with alpha FlashCounter/30, then counts FlashCounter up.
void FadeToWhite();
// Adds white with alpha FlashCounter/30, then counts FlashCounter down.
void FadeFromWhite();
// Adds white with alpha 1 - FlashCounter/20, then counts FlashCounter up.
void FlashOverlay();

}  // namespace scenes
