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
  uint8_t* Pixels;  // decoded picture, owned (std::free)
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
  uint32_t Name;    // changes at every Upload
};

ImageTexture* Load(const std::string& fileName, int32_t components, bool mipmapped);
void Destroy(ImageTexture* texture);

CanvasTexture* Create(int32_t width, int32_t height, int32_t components, bool mipmapped);
void SetPixelRGBA(CanvasTexture* canvas, int32_t x, int32_t y, uint8_t r, uint8_t g,
                  uint8_t b, uint8_t a);
void Upload(CanvasTexture* canvas);
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
