// Drawing helpers for the picture maker: a floating-point RGB canvas that light is
// added to (black is "nothing", as the production blends additively), coverage
// masks, Gaussian blur for glows, and text set with FreeType.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace raster {

struct Rgb {
  float R = 0.0f, G = 0.0f, B = 0.0f;
};

inline Rgb operator*(Rgb c, float k) { return {c.R * k, c.G * k, c.B * k}; }
inline Rgb operator+(Rgb a, Rgb b) { return {a.R + b.R, a.G + b.G, a.B + b.B}; }
inline Rgb Mix(Rgb a, Rgb b, float t) { return a * (1.0f - t) + b * t; }

// One float per pixel, row-major, rows top first.
struct Mask {
  int Width = 0, Height = 0;
  std::vector<float> A;
  Mask() = default;
  Mask(int w, int h) : Width(w), Height(h), A(size_t(w) * h, 0.0f) {}
  float& At(int x, int y) { return A[size_t(y) * Width + x]; }
  float At(int x, int y) const { return A[size_t(y) * Width + x]; }
};

// Light in linear units, 1.0 = full channel; clamped only when converted to bytes.
struct Canvas {
  int Width = 0, Height = 0;
  std::vector<Rgb> Pixels;
  Canvas(int w, int h) : Width(w), Height(h), Pixels(size_t(w) * h) {}
  Rgb& At(int x, int y) { return Pixels[size_t(y) * Width + x]; }

  // Adds f(x, y) to every pixel (x, y are pixel centres: 0.5, 1.5, ...).
  void AddFunction(const std::function<Rgb(float x, float y)>& f);
  // Adds colour(x, y) * mask * gain to every pixel.
  void AddMask(const Mask& mask, const std::function<Rgb(float x, float y)>& colour,
               float gain = 1.0f);
  void AddMask(const Mask& mask, Rgb colour, float gain = 1.0f);
  // RGB bytes, 3 per pixel, rows top first.
  std::vector<uint8_t> ToBytes() const;
};

// Separable Gaussian blur; wrap makes it periodic (for tiling pictures).
Mask Blur(const Mask& in, float sigma, bool wrap = false);

// A font face of the DejaVu family at one pixel size. Horizontal scale < 1 draws
// narrower glyphs, for pictures that are stretched sideways on screen.
class Font {
 public:
  Font(const std::string& path, float pixelSize, float horizontalScale = 1.0f);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // Width in pixels of text set with the given extra spacing between letters.
  float Width(const std::string& text, float tracking = 0.0f) const;
  // Adds the coverage of text to mask, the line centred on centreX with its
  // baseline at baselineY.
  void Draw(Mask& mask, const std::string& text, float centreX, float baselineY,
            float tracking = 0.0f) const;
  // Height of capital letters above the baseline, in pixels.
  float CapHeight() const;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace raster
