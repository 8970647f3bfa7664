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

// Copies the picture (width x height) into the middle of the window's own framebuffer
// of targetWidth x targetHeight, scaled with its aspect kept, the bars black. The
// window's framebuffer is left bound for drawing; the rest of the GL state is kept.
void BlitPictureScaled(const PictureFramebuffer& picture, int32_t width, int32_t height,
                       int32_t targetWidth, int32_t targetHeight);

// Calls draw(context) with each framebuffer the picture may be drawn into bound: the
// one bound now (the picture's when it is made, else the window's), then the other (a
// one-pixel picture framebuffer of colorBits made for the call, when none is made
// yet). A software renderer prepares its code for each framebuffer format, and a
// window may change between the two while the program runs (a window manager resizing
// it). The framebuffer bound now is bound again after.
void DrawIntoEachPictureTarget(const PictureFramebuffer& picture, int32_t colorBits,
                               void (*draw)(void*), void* context);

}  // namespace window
