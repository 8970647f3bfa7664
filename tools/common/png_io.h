// Reading and writing 8-bit PNG files (grey, RGB or RGBA) through libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pngio {

struct Image {
  int Width = 0;
  int Height = 0;
  int Channels = 0;              // 1 grey, 3 RGB, 4 RGBA
  std::vector<uint8_t> Pixels;   // rows top first, Channels bytes per pixel
};

// Reads a PNG; grey(+alpha) files come back with 1 channel, colour ones with 3 or 4
// (as the file has alpha or not). On failure returns false and sets error.
bool ReadPng(const std::string& path, Image& image, std::string& error);

// Writes rows top first; flipVertically takes them bottom first (as glReadPixels gives).
// The file is written as common/output_file.h says: a failure leaves path as it was.
bool WritePng(const std::string& path, int width, int height, int channels,
              const uint8_t* pixels, bool flipVertically, std::string& error);

}  // namespace pngio
