#include "codec_test_util.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "framework/binfile/binfile.h"

namespace codectest {
namespace {

void Throw(int32_t code, const std::string& name, const std::string&, uintptr_t) {
  throw FileFailure{code, name};
}

std::filesystem::path ScratchDir() {
  return std::filesystem::temp_directory_path() / ("codec_test_" + std::to_string(getpid()));
}

struct RemoveScratch : ::testing::Environment {
  void TearDown() override { std::filesystem::remove_all(ScratchDir()); }
};
[[maybe_unused]] auto* const removeScratch =
    ::testing::AddGlobalTestEnvironment(new RemoveScratch);

}  // namespace

FailureCatcher::FailureCatcher() { binfile::SetFailureHandler(Throw); }
FailureCatcher::~FailureCatcher() { binfile::SetFailureHandler(nullptr); }

std::string TempPath(const std::string& name) {
  const auto dir = ScratchDir();
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> TestPicture(int32_t width, int32_t height, int32_t channels) {
  std::vector<uint8_t> rows(size_t(width) * height * channels);
  uint32_t noise = 12345;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const double u = double(x) / width, v = double(y) / height;
      const double dx = u - 0.5, dy = v - 0.5;
      const bool disc = dx * dx + dy * dy < 0.09;
      const bool stripe = (x / 16 + y / 16) % 2 == 0 && v > 0.75;
      for (int32_t c = 0; c < channels; ++c) {
        noise = noise * 1664525u + 1013904223u;
        double s = 255 * (c == 0 ? u : c == 1 ? v : 1 - u * v);
        if (disc) s = 0.5 * s + 100 + 60 * std::sin(14 * u + 3 * c);
        if (stripe) s = c == 1 ? 230 : 20;
        s += double(noise >> 28) - 7.5;  // a little grain
        rows[(size_t(y) * width + x) * channels + c] =
            static_cast<uint8_t>(std::lround(std::fmin(255, std::fmax(0, s))));
      }
    }
  }
  return rows;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += double(a[i] - b[i]) * double(a[i] - b[i]);
  if (sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 / (sum / double(a.size())));
}

std::vector<uint8_t> DecodeToRows(const std::string& path, codec::ImageHeader& header) {
  uint8_t* pixels = nullptr;
  codec::DecodeImageFile(pixels, header, path, true);
  const size_t count = size_t(header.Width) * header.Height;
  std::vector<uint8_t> rows;
  if (header.BitsPerPixel == 8) {
    rows.assign(pixels, pixels + count);
  } else {
    for (size_t p = 0; p < count; ++p) {
      rows.push_back(pixels[4 * p + 2]);
      rows.push_back(pixels[4 * p + 1]);
      rows.push_back(pixels[4 * p]);
    }
  }
  std::free(pixels);
  return rows;
}

}  // namespace codectest
