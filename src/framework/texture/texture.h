// Corvane texture unit (error caption "cvnTexture"): picture textures loaded from
// .tqz files, a program-written RGBA canvas texture, and the driver's ten slots.
#pragma once

#include <cstdint>
#include <string>

#include "codec/codec.h"

namespace texture {

// A texture loaded once from a picture file.
struct ImageTexture {
  codec::ImageHeader Header;
  uint8_t* Pixels;  // decoded picture, owned (std::free): a word per pixel with the
                    // bytes blue, green, red, 0 (24 bits), or one grey byte (8 bits)
  int32_t Width;
  int32_t Height;
  uint32_t Name;    // the TextureId scenes bind
};

// A texture whose RGBA pixels the program writes and uploads again at will.
struct CanvasTexture {
  int32_t Width;
  int32_t Height;
  int32_t Components;
  bool Mipmapped;
  uint8_t* Pixels;  // pixel (x, y) at byte 4 * (y * Width + x): red, green, blue, alpha
  uint32_t Name;    // may change at an Upload: read it afterwards
};

// Decodes the picture (name cut to 255 characters) and uploads it with the given
// internal format, bound to GL_TEXTURE_2D; mipmapped: a GLU mipmap chain, nearest
// magnification. A picture without rows, wider or taller than GL_MAX_TEXTURE_SIZE,
// or with bits per pixel neither 8 nor 24 shows "Could not load Texture" and ends
// the program; one without columns is an empty (zero-width) texture.
ImageTexture* Load(const std::string& fileName, int32_t components, bool mipmapped);
// Deletes the GL texture and the object (null is ignored).
void Destroy(ImageTexture* texture);

// A black, transparent canvas of width x height pixels (4 bytes each whatever the
// components), uploaded and bound.
CanvasTexture* Create(int32_t width, int32_t height, int32_t components, bool mipmapped);
// Writes one pixel of the buffer; positions outside the canvas are ignored.
void SetPixelRGBA(CanvasTexture* canvas, int32_t x, int32_t y, uint8_t r, uint8_t g,
                  uint8_t b, uint8_t a);
// Sends the buffer to the GL texture, bound afterwards (read Name afterwards).
void Upload(CanvasTexture* canvas);
// Deletes the GL texture and the object (null is ignored).
void Destroy(CanvasTexture* canvas);

// The driver's texture slots.
struct TextureBank {
  ImageTexture* loading;
  ImageTexture* checkers;
  ImageTexture* checkers2;
  ImageTexture* flare;
  ImageTexture* greets1;
  ImageTexture* greets2;
  ImageTexture* greets3;
  ImageTexture* intro1;
  ImageTexture* flare2;
  CanvasTexture* canvas;
};

}  // namespace texture
