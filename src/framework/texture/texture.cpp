// Texture unit: .tqz pictures become OpenGL textures through the decoder; the
// canvas is an RGBA buffer the program writes and uploads again into its texture.
#include "framework/texture/texture.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <cstdlib>
#include <cstring>

#include "framework/binfile/binfile.h"
#include "framework/window/window.h"

namespace texture {

namespace {

constexpr size_t MaxFileNameLength = 255;

// Mipmapped: a mipmap chain, nearest-level minification, nearest magnification.
// Plain: linear both ways. Both repeat in s and t.
void SetSampling(bool mipmapped) {
  if (mipmapped) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  } else {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
}

// Level 0 from pixels in the given format, then (when mipmapped) the whole chain.
void UploadLevels(int32_t components, int32_t width, int32_t height, GLenum format,
                  const uint8_t* pixels, bool mipmapped) {
  glTexImage2D(GL_TEXTURE_2D, 0, components, width, height, 0, format, GL_UNSIGNED_BYTE,
               pixels);
  if (mipmapped)
    gluBuild2DMipmaps(GL_TEXTURE_2D, components, width, height, format, GL_UNSIGNED_BYTE,
                      pixels);
  SetSampling(mipmapped);
}

void CanvasToGL(CanvasTexture* canvas) {
  UploadLevels(canvas->Components, canvas->Width, canvas->Height, GL_RGBA, canvas->Pixels,
               canvas->Mipmapped);
}

}  // namespace

ImageTexture* Load(const std::string& fileName, int32_t components, bool mipmapped) {
  const std::string name = fileName.substr(0, MaxFileNameLength);
  auto* texture = new ImageTexture{};
  // A picture wider or taller than the GL's largest texture could never be shown:
  // it is refused from its header, before anything of its size is allocated.
  GLint largest = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
  if (!codec::DecodeImageFileWithin(texture->Pixels, texture->Header, name, largest))
    window::ShowError("cvnTexture", "Could not load Texture");

  // A picture without rows, or one the decoder left without pixels (bits per pixel
  // neither 8 nor 24), cannot become a texture. No columns is a zero-width upload.
  const uint8_t bits = texture->Header.BitsPerPixel;
  if (texture->Header.Height == 0 || (bits != 8 && bits != 24))
    window::ShowError("cvnTexture", "Could not load Texture");

  texture->Height = texture->Header.Height;
  texture->Width = texture->Header.Width;

  glGenTextures(1, &texture->Name);
  glBindTexture(GL_TEXTURE_2D, texture->Name);
  if (bits == 24) {
    // One word per pixel, bytes blue, green, red, 0: with 3 components the zero
    // byte is dropped and the texture is opaque.
    UploadLevels(components, texture->Width, texture->Height, GL_BGRA_EXT, texture->Pixels,
                 mipmapped);
  } else {
    // Grey pictures keep their one byte per pixel; luminance spreads it over red,
    // green and blue. Rows are tightly packed, whatever the width.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    UploadLevels(components, texture->Width, texture->Height, GL_LUMINANCE, texture->Pixels,
                 mipmapped);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  }
  return texture;
}

void Destroy(ImageTexture* texture) {
  if (!texture) return;
  glDeleteTextures(1, &texture->Name);
  std::free(texture->Pixels);
  delete texture;
}

CanvasTexture* Create(int32_t width, int32_t height, int32_t components, bool mipmapped) {
  auto* canvas = new CanvasTexture{};
  canvas->Width = width;
  canvas->Height = height;
  canvas->Components = components;
  canvas->Mipmapped = mipmapped;
  // The buffer always holds four bytes per pixel: SetPixelRGBA writes and Upload
  // reads RGBA whatever the internal format. Starts black and transparent.
  const size_t pixelCount =
      width > 0 && height > 0 ? static_cast<size_t>(width) * static_cast<size_t>(height) : 0;
  canvas->Pixels = static_cast<uint8_t*>(std::calloc(pixelCount * 4 + 1, 1));
  if (!canvas->Pixels) binfile::Fail("", binfile::OutOfMemory);
  glGenTextures(1, &canvas->Name);
  glBindTexture(GL_TEXTURE_2D, canvas->Name);
  CanvasToGL(canvas);
  return canvas;
}

void SetPixelRGBA(CanvasTexture* canvas, int32_t x, int32_t y, uint8_t r, uint8_t g,
                  uint8_t b, uint8_t a) {
  if (x < 0 || x >= canvas->Width || y < 0 || y >= canvas->Height) return;
  uint8_t* pixel =
      canvas->Pixels + 4 * (static_cast<size_t>(y) * static_cast<size_t>(canvas->Width) + x);
  pixel[0] = r;
  pixel[1] = g;
  pixel[2] = b;
  pixel[3] = a;
}

void Upload(CanvasTexture* canvas) {
  // The texture keeps its name and its storage, which Create made at this size: the
  // new pixels replace level 0 in place, where a new texture would have a software
  // renderer allocate and prepare one every frame. A mipmapped canvas is specified
  // again, chain and all.
  glBindTexture(GL_TEXTURE_2D, canvas->Name);
  if (canvas->Mipmapped)
    CanvasToGL(canvas);
  else if (canvas->Width > 0 && canvas->Height > 0)
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, canvas->Width, canvas->Height, GL_RGBA,
                    GL_UNSIGNED_BYTE, canvas->Pixels);
}

void Destroy(CanvasTexture* canvas) {
  if (!canvas) return;
  glDeleteTextures(1, &canvas->Name);
  std::free(canvas->Pixels);
  delete canvas;
}

}  // namespace texture
