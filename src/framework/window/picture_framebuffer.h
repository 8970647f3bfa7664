// The framebuffer the picture is drawn into where it cannot go straight to the window
// (the desktop's window of another size; the page's canvas, always).
#pragma once

#include <cstdint>

namespace window {

struct PictureFramebuffer {
  unsigned int Framebuffer = 0;  // 0: none
  unsigned int Buffers[2] = {};  // colour, depth
};

// Width x height, 5/6/5 colour for 16 bits (the look of a 16-bit desktop), 8 bits a
// channel otherwise, no alpha, 16-bit depth; left bound. False, with nothing made,
// where the driver cannot complete it.
bool CreatePictureFramebuffer(PictureFramebuffer& picture, int32_t width, int32_t height,
                              int32_t colorBits);

// Deletes it (if made) and binds the window's own framebuffer.
void DeletePictureFramebuffer(PictureFramebuffer& picture);

}  // namespace window
