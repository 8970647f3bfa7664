#include "raster.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace raster {

void Canvas::AddFunction(const std::function<Rgb(float, float)>& f) {
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) At(x, y) = At(x, y) + f(x + 0.5f, y + 0.5f);
}

void Canvas::AddMask(const Mask& mask, const std::function<Rgb(float, float)>& colour,
                     float gain) {
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const float a = mask.At(x, y);
      if (a > 0.0f) At(x, y) = At(x, y) + colour(x + 0.5f, y + 0.5f) * (a * gain);
    }
}

void Canvas::AddMask(const Mask& mask, Rgb colour, float gain) {
  AddMask(mask, [colour](float, float) { return colour; }, gain);
}

std::vector<uint8_t> Canvas::ToBytes() const {
  std::vector<uint8_t> out(Pixels.size() * 3);
  auto byte = [](float v) {
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
  };
  for (size_t i = 0; i < Pixels.size(); ++i) {
    out[3 * i] = byte(Pixels[i].R);
    out[3 * i + 1] = byte(Pixels[i].G);
    out[3 * i + 2] = byte(Pixels[i].B);
  }
  return out;
}

namespace {

std::vector<float> Kernel(float sigma) {
  const int radius = std::max(1, static_cast<int>(std::ceil(sigma * 3.0f)));
  std::vector<float> k(2 * radius + 1);
  float sum = 0.0f;
  for (int i = -radius; i <= radius; ++i) sum += k[i + radius] = std::exp(-0.5f * i * i / (sigma * sigma));
  for (float& v : k) v /= sum;
  return k;
}

// One blur pass along a line of n samples read and written with a stride.
void BlurLine(const float* in, float* out, int n, int stride, const std::vector<float>& k,
              bool wrap) {
  const int radius = static_cast<int>(k.size() / 2);
  for (int i = 0; i < n; ++i) {
    float acc = 0.0f;
    for (int j = -radius; j <= radius; ++j) {
      int p = i + j;
      if (wrap) {
        p %= n;
        if (p < 0) p += n;
      } else if (p < 0 || p >= n) {
        continue;  // outside is black
      }
      acc += in[size_t(p) * stride] * k[j + radius];
    }
    out[size_t(i) * stride] = acc;
  }
}

}  // namespace

Mask Blur(const Mask& in, float sigma, bool wrap) {
  const std::vector<float> k = Kernel(sigma);
  Mask tmp(in.Width, in.Height), out(in.Width, in.Height);
  for (int y = 0; y < in.Height; ++y)
    BlurLine(&in.A[size_t(y) * in.Width], &tmp.A[size_t(y) * in.Width], in.Width, 1, k, wrap);
  for (int x = 0; x < in.Width; ++x)
    BlurLine(&tmp.A[x], &out.A[x], in.Height, in.Width, k, wrap);
  return out;
}

struct Font::Impl {
  FT_Library Library = nullptr;
  FT_Face Face = nullptr;
  FT_Matrix Matrix{0x10000, 0, 0, 0x10000};
};

Font::Font(const std::string& path, float pixelSize, float horizontalScale) : impl_(new Impl) {
  if (FT_Init_FreeType(&impl_->Library) != 0 ||
      FT_New_Face(impl_->Library, path.c_str(), 0, &impl_->Face) != 0) {
    std::fprintf(stderr, "cannot load the font %s\n", path.c_str());
    std::exit(1);
  }
  FT_Set_Char_Size(impl_->Face, 0, static_cast<FT_F26Dot6>(std::lround(pixelSize * 64.0f)), 72,
                   72);
  impl_->Matrix.xx = static_cast<FT_Fixed>(std::lround(horizontalScale * 65536.0f));
}

Font::~Font() {
  FT_Done_Face(impl_->Face);
  FT_Done_FreeType(impl_->Library);
  delete impl_;
}

namespace {

// The texts are ASCII apart from a few symbols written as UTF-8.
std::vector<uint32_t> Decode(const std::string& s) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      out.push_back(c);
      i += 1;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
      out.push_back(((c & 0x1F) << 6) | (s[i + 1] & 0x3F));
      i += 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < s.size()) {
      out.push_back(((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F));
      i += 3;
    } else {
      i += 1;
    }
  }
  return out;
}

}  // namespace

float Font::Width(const std::string& text, float tracking) const {
  FT_Face face = impl_->Face;
  const std::vector<uint32_t> chars = Decode(text);
  FT_Set_Transform(face, &impl_->Matrix, nullptr);
  float pen = 0.0f;
  FT_UInt previous = 0;
  for (size_t i = 0; i < chars.size(); ++i) {
    const FT_UInt glyph = FT_Get_Char_Index(face, chars[i]);
    if (previous && glyph && FT_HAS_KERNING(face)) {
      FT_Vector kern;
      FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &kern);
      pen += kern.x / 64.0f * (impl_->Matrix.xx / 65536.0f);
    }
    FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT);
    pen += face->glyph->advance.x / 64.0f;
    if (i + 1 < chars.size()) pen += tracking;
    previous = glyph;
  }
  return pen;
}

void Font::Draw(Mask& mask, const std::string& text, float centreX, float baselineY,
                float tracking) const {
  FT_Face face = impl_->Face;
  const std::vector<uint32_t> chars = Decode(text);
  float pen = centreX - Width(text, tracking) * 0.5f;
  FT_UInt previous = 0;
  for (uint32_t ch : chars) {
    const FT_UInt glyph = FT_Get_Char_Index(face, ch);
    if (previous && glyph && FT_HAS_KERNING(face)) {
      FT_Vector kern;
      FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &kern);
      pen += kern.x / 64.0f * (impl_->Matrix.xx / 65536.0f);
    }
    // Render at the pen's sub-pixel position so spacing stays even.
    const float whole = std::floor(pen);
    FT_Vector offset{static_cast<FT_Pos>(std::lround((pen - whole) * 64.0f)), 0};
    FT_Set_Transform(face, &impl_->Matrix, &offset);
    FT_Load_Glyph(face, glyph, FT_LOAD_RENDER);
    const FT_Bitmap& bm = face->glyph->bitmap;
    const int left = static_cast<int>(whole) + face->glyph->bitmap_left;
    const int top = static_cast<int>(std::lround(baselineY)) - face->glyph->bitmap_top;
    for (unsigned row = 0; row < bm.rows; ++row)
      for (unsigned col = 0; col < bm.width; ++col) {
        const int x = left + static_cast<int>(col), y = top + static_cast<int>(row);
        if (x < 0 || y < 0 || x >= mask.Width || y >= mask.Height) continue;
        const float a = bm.buffer[row * bm.pitch + col] / 255.0f;
        mask.At(x, y) = std::min(1.0f, mask.At(x, y) + a);
      }
    pen += face->glyph->advance.x / 64.0f + tracking;
    previous = glyph;
  }
}

float Font::CapHeight() const {
  FT_Face face = impl_->Face;
  FT_Set_Transform(face, &impl_->Matrix, nullptr);
  FT_Load_Char(face, 'H', FT_LOAD_DEFAULT);
  return face->glyph->metrics.horiBearingY / 64.0f;
}

}  // namespace raster
