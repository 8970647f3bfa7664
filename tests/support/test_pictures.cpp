#include "support/test_pictures.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "codec/codec.h"

namespace testsupport {

TestPicture BlockPicture(int width, int height, int channels, int blocks) {
  TestPicture picture{width, height, channels,
                      std::vector<uint8_t>(static_cast<size_t>(width) * height * channels)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int bx = x * blocks / width;
      const int by = y * blocks / height;
      const int k = by * blocks + bx;
      if (channels == 1) {
        picture.At(x, y, 0) = static_cast<uint8_t>(20 + k * 215 / std::max(1, blocks * blocks - 1));
      } else {
        picture.At(x, y, 0) = static_cast<uint8_t>(30 + bx * 200 / std::max(1, blocks - 1));
        picture.At(x, y, 1) = static_cast<uint8_t>(30 + by * 200 / std::max(1, blocks - 1));
        picture.At(x, y, 2) = static_cast<uint8_t>(230 - (k * 53) % 200);
      }
    }
  }
  return picture;
}

TestPicture PatternPicture(int width, int height, int channels, uint32_t seed) {
  TestPicture picture{width, height, channels,
                      std::vector<uint8_t>(static_cast<size_t>(width) * height * channels)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int checker = ((x / 8 + y / 8) % 2) ? 24 : -24;
      for (int c = 0; c < channels; ++c) {
        const int base = c == 0   ? x * 200 / width
                         : c == 1 ? y * 200 / height
                                  : (x + y) * 100 / (width + height) + 20;
        const int v = base + checker + static_cast<int>((seed * 37 + c * 71) % 50);
        picture.At(x, y, c) = static_cast<uint8_t>(std::clamp(v, 0, 255));
      }
    }
  }
  return picture;
}

void WriteTestPicture(const std::string& path, const TestPicture& picture, int depth,
                      int valueBits) {
  const int w = picture.Width;
  const int h = picture.Height;
  const size_t n = static_cast<size_t>(w) * h;
  std::vector<std::vector<int32_t>> planes(3, std::vector<int32_t>(n));
  std::vector<std::vector<double>> tables(3, std::vector<double>(18));
  std::vector<double> samples(n);
  std::vector<double> coefficients(n);
  for (int c = 0; c < picture.Channels; ++c) {
    for (size_t p = 0; p < n; ++p) samples[p] = picture.Samples[p * picture.Channels + c];
    codec::ForwardTransform(samples.data(), coefficients.data(), w, h, w, h, depth);
    codec::Quantize(coefficients.data(), planes[c].data(), w, h, depth, valueBits,
                    tables[c].data());
  }
  codec::WriteImageFile(path, planes[0].data(), planes[1].data(), planes[2].data(), w, h,
                        picture.Channels == 1 ? 8 : 24, depth, tables[0].data(),
                        tables[1].data(), tables[2].data(), valueBits);
}

void WriteHeaderOnlyPicture(const std::string& path, int width, int height, int bitsPerPixel,
                            int depth) {
  codec::ImageHeader header{};
  std::memcpy(header.Magic, "TQZ", 3);
  header.Width = static_cast<uint16_t>(width);
  header.Height = static_cast<uint16_t>(height);
  header.BitsPerPixel = static_cast<uint8_t>(bitsPerPixel);
  header.Depth = static_cast<uint8_t>(depth);
  header.ValueBits = 8;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(&header), sizeof header);
  const int channels = bitsPerPixel == 8 ? 1 : bitsPerPixel == 24 ? 3 : 0;
  const std::vector<char> tables(static_cast<size_t>(channels) * (depth + 2) * 8, 0);
  file.write(tables.data(), static_cast<std::streamsize>(tables.size()));
}

DecodedPicture DecodeForTest(const std::string& path) {
  uint8_t* pixels = nullptr;
  codec::ImageHeader header{};
  codec::DecodeImageFile(pixels, header, path, true);
  DecodedPicture decoded{header.Width, header.Height, header.BitsPerPixel, {}};
  const size_t n = static_cast<size_t>(decoded.Width) * decoded.Height;
  decoded.Rgb.resize(n);
  for (size_t p = 0; p < n; ++p) {
    if (header.BitsPerPixel == 24) {
      uint32_t word;
      std::memcpy(&word, pixels + 4 * p, 4);
      decoded.Rgb[p] = word;
    } else if (header.BitsPerPixel == 8) {
      const uint32_t g = pixels[p];
      decoded.Rgb[p] = g << 16 | g << 8 | g;
    }
  }
  std::free(pixels);
  return decoded;
}

std::vector<uint8_t> ReadTextureRGBA(GLuint name, int level) {
  glBindTexture(GL_TEXTURE_2D, name);
  GLint width = 0, height = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &height);
  std::vector<uint8_t> texels(static_cast<size_t>(width) * height * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  if (!texels.empty())
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  return texels;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumetra-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ScopedWorkingDirectory::ScopedWorkingDirectory(const std::string& path)
    : previous_(std::filesystem::current_path().string()) {
  std::filesystem::current_path(path);
}

ScopedWorkingDirectory::~ScopedWorkingDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

}  // namespace testsupport
