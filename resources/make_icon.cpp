// Draws the program icon at the sizes desktops ask for: a tilted stack of checkered
// squares fading outwards around a white glow, on a dark rounded tile. The drawing is
// laid out on a 48-unit grid; at 48 pixels each pixel is one sample at its centre,
// larger sizes average 4 x 4 samples per pixel.
//   lumetra-icon DIR SIZE...   writes DIR/SIZExSIZE/apps/lumetra.png for each size
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/png_io.h"

namespace {

constexpr double Grid = 48;

// Red, green, blue (0 to 1, not premultiplied) and coverage at (x, y) of the 48-unit
// grid; pixelsPerUnit keeps the tile's soft edge one pixel wide at every size.
std::array<double, 4> Sample(double x, double y, double pixelsPerUnit) {
  const double c = (Grid - 1) / 2, dx = x - c, dy = y - c;
  // Rounded tile.
  const double r = 9.0;
  const double qx = std::max(std::abs(dx) - (Grid / 2 - r), 0.0);
  const double qy = std::max(std::abs(dy) - (Grid / 2 - r), 0.0);
  const double edge = (r - std::hypot(qx, qy)) * pixelsPerUnit;
  if (edge <= 0) return {0, 0, 0, 0};
  double red = 0.04, green = 0.04, blue = 0.08;
  // Stack of squares turned by 20 degrees, fainter as they grow.
  const double a = 20 * M_PI / 180;
  const double u = dx * std::cos(a) + dy * std::sin(a);
  const double v = -dx * std::sin(a) + dy * std::cos(a);
  for (int i = 0; i < 6; ++i) {
    const double half = 4 + i * 3.4, d = std::max(std::abs(u), std::abs(v));
    if (d <= half) {
      const bool checker =
          (int(std::floor((u + 40) / 2.5)) + int(std::floor((v + 40) / 2.5))) % 2 != 0;
      const double weight = (1 - i / 6.0) * (checker ? 0.35 : 0.12);
      red += weight * 0.75;
      green += weight * 0.85;
      blue += weight;
    }
    if (std::abs(d - half) < 0.6) {
      red += 0.10;
      green += 0.12;
      blue += 0.18;
    }
  }
  const double glow = std::exp(-(dx * dx + dy * dy) / 30.0);
  return {red + glow, green + glow, blue + glow, std::min(1.0, edge)};
}

uint8_t Byte(double v) { return uint8_t(std::clamp(v, 0.0, 1.0) * 255 + 0.5); }

std::vector<uint8_t> Draw(int size) {
  const int n = size == Grid ? 1 : 4;  // samples per pixel side
  const double unitsPerPixel = Grid / size;
  std::vector<uint8_t> rgba(size_t(size) * size * 4);
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      double sum[4] = {};
      for (int sy = 0; sy < n; ++sy) {
        for (int sx = 0; sx < n; ++sx) {
          const double x = (px + (sx + 0.5) / n) * unitsPerPixel - 0.5;
          const double y = (py + (sy + 0.5) / n) * unitsPerPixel - 0.5;
          const auto s = Sample(x, y, 1 / unitsPerPixel);
          // Colours clamped per sample, then weighted by coverage.
          for (int k = 0; k < 3; ++k) sum[k] += std::clamp(s[k], 0.0, 1.0) * s[3];
          sum[3] += s[3];
        }
      }
      uint8_t* out = &rgba[(size_t(py) * size + px) * 4];
      for (int k = 0; k < 3; ++k) out[k] = sum[3] > 0 ? Byte(sum[k] / sum[3]) : 0;
      out[3] = Byte(sum[3] / (n * n));
    }
  }
  return rgba;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: lumetra-icon DIR SIZE...\n");
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size < 16 || size > 1024) {
      std::fprintf(stderr, "lumetra-icon: size %s: expected 16 to 1024\n", argv[i]);
      return 2;
    }
    const std::string side = std::to_string(size);
    const std::filesystem::path dir = std::filesystem::path(argv[1]) / (side + "x" + side) / "apps";
    std::filesystem::create_directories(dir);
    std::string error;
    const std::vector<uint8_t> rgba = Draw(size);
    if (!pngio::WritePng((dir / "lumetra.png").string(), size, size, 4, rgba.data(), false,
                         error)) {
      std::fprintf(stderr, "lumetra-icon: %s: %s\n", (dir / "lumetra.png").c_str(), error.c_str());
      return 1;
    }
  }
  return 0;
}
