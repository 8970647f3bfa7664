// Helpers for the codec tests: file failures as exceptions, temporary files, small
// generated pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/codec_internal.h"

namespace codectest {

// Thrown instead of the runtime error box while a FailureCatcher is alive.
struct FileFailure {
  int32_t Code;
  std::string Name;
};

struct FailureCatcher {
  FailureCatcher();
  ~FailureCatcher();
};

// A path in the test's scratch folder (removed files are left to the system).
std::string TempPath(const std::string& name);
std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// A test picture with smooth gradients, hard edges and fine texture, 8-bit rows.
std::vector<uint8_t> TestPicture(int32_t width, int32_t height, int32_t channels);

// Peak signal-to-noise ratio in dB between two equally long byte arrays.
double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// Decodes a file to rows of 1 (grey) or 3 (red, green, blue) bytes per pixel.
std::vector<uint8_t> DecodeToRows(const std::string& path, codec::ImageHeader& header);

}  // namespace codectest
