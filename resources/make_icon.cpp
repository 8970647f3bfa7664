// Draws the program icon at the sizes desktops ask for: a tilted stack of checkered
// squares fading outwards around a white glow, on a dark rounded tile. The drawing is
// laid out on a 48-unit grid; at 48 pixels each pixel is one sample at its centre,
// larger sizes average 4 x 4 samples per pixel.
//   lumetra-icon DIR SIZE...   writes DIR/SIZExSIZE/apps/lumetra.png for each size
//   lumetra-icon --ico FILE    writes the Windows program's icon: 48 x 48, 256 colours
// Either way it makes the folders it writes into, so no build step has to come first.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/output_file.h"
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

// Median cut: the opaque pixels' colours split, box by box, at the median of the
// widest channel of the box with the widest range, until there are `count` boxes;
// each box's mean is a palette colour.
using Rgb = std::array<uint8_t, 3>;
std::vector<Rgb> MedianCut(std::vector<Rgb> colours, size_t count) {
  struct Box {
    size_t Begin, End;
  };
  std::vector<Box> boxes{{0, colours.size()}};
  auto widest = [&](const Box& box, int& channel) {
    int best = -1;
    for (int c = 0; c < 3; ++c) {
      auto [low, high] = std::minmax_element(
          colours.begin() + box.Begin, colours.begin() + box.End,
          [c](const Rgb& a, const Rgb& b) { return a[c] < b[c]; });
      if ((*high)[c] - (*low)[c] > best) {
        best = (*high)[c] - (*low)[c];
        channel = c;
      }
    }
    return best;
  };
  while (boxes.size() < count) {
    int split = -1, channel = 0, range = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
      int c = 0;
      const int r = boxes[i].End - boxes[i].Begin > 1 ? widest(boxes[i], c) : 0;
      if (r > range) range = r, split = int(i), channel = c;
    }
    if (split < 0) break;
    Box& box = boxes[split];
    const size_t middle = (box.Begin + box.End) / 2;
    std::nth_element(colours.begin() + box.Begin, colours.begin() + middle,
                     colours.begin() + box.End,
                     [channel](const Rgb& a, const Rgb& b) { return a[channel] < b[channel]; });
    boxes.push_back({middle, box.End});
    boxes[split].End = middle;
  }
  std::vector<Rgb> palette;
  for (const Box& box : boxes) {
    if (box.Begin == box.End) continue;
    unsigned sum[3] = {};
    for (size_t i = box.Begin; i < box.End; ++i)
      for (int c = 0; c < 3; ++c) sum[c] += colours[i][c];
    const size_t n = box.End - box.Begin;
    palette.push_back({uint8_t((sum[0] + n / 2) / n), uint8_t((sum[1] + n / 2) / n),
                       uint8_t((sum[2] + n / 2) / n)});
  }
  return palette;
}

// Makes folder dir and its parents where missing; false with error set if not.
bool MakeFolder(const std::filesystem::path& dir, std::string& error) {
  std::error_code ec;
  if (dir.empty() || std::filesystem::create_directories(dir, ec) || !ec) return true;
  error = ec.message();
  return false;
}

template <typename T>
void Put(std::string& out, T value) {
  for (size_t i = 0; i < sizeof value; ++i) out += char((uint64_t(value) >> (8 * i)) & 0xff);
}

// An .ico file with one 48 x 48 picture of 256 colours: palette entry 0 is black, for
// the pixels the mask leaves transparent (alpha below one half).
bool WriteIco(const std::filesystem::path& path, std::string& error) {
  constexpr int size = 48;
  const std::vector<uint8_t> rgba = Draw(size);
  std::vector<Rgb> opaque;
  for (size_t i = 0; i < rgba.size(); i += 4)
    if (rgba[i + 3] >= 128) opaque.push_back({rgba[i], rgba[i + 1], rgba[i + 2]});
  std::vector<Rgb> palette{{0, 0, 0}};
  for (const Rgb& colour : MedianCut(opaque, 255)) palette.push_back(colour);
  palette.resize(256, Rgb{0, 0, 0});
  auto nearest = [&](const uint8_t* p) {
    int best = 1, bestDistance = 1 << 30;
    for (int i = 1; i < 256; ++i) {
      int d = 0;
      for (int c = 0; c < 3; ++c) d += (p[c] - palette[i][c]) * (p[c] - palette[i][c]);
      if (d < bestDistance) bestDistance = d, best = i;
    }
    return uint8_t(best);
  };
  constexpr int maskRow = 8;  // 48 bits, padded to 4 bytes
  std::string pixels, mask;
  for (int y = size - 1; y >= 0; --y) {  // rows bottom first
    std::string maskBits(maskRow, '\0');
    for (int x = 0; x < size; ++x) {
      const uint8_t* p = &rgba[(size_t(y) * size + x) * 4];
      const bool transparent = p[3] < 128;
      pixels += char(transparent ? 0 : nearest(p));
      if (transparent) maskBits[x / 8] = char(maskBits[x / 8] | (0x80 >> (x % 8)));
    }
    mask += maskBits;
  }
  std::string image;
  Put<uint32_t>(image, 40);        // BITMAPINFOHEADER
  Put<int32_t>(image, size);
  Put<int32_t>(image, size * 2);   // colour picture and mask
  Put<uint16_t>(image, 1);
  Put<uint16_t>(image, 8);
  Put<uint32_t>(image, 0);
  Put<uint32_t>(image, uint32_t(pixels.size() + mask.size()));
  Put<int32_t>(image, 0);
  Put<int32_t>(image, 0);
  Put<uint32_t>(image, 256);
  Put<uint32_t>(image, 0);
  for (const Rgb& colour : palette) image += {char(colour[2]), char(colour[1]), char(colour[0]), 0};
  image += pixels + mask;
  std::string file;
  Put<uint16_t>(file, 0);  // ICONDIR: an icon file with one picture
  Put<uint16_t>(file, 1);
  Put<uint16_t>(file, 1);
  Put<uint8_t>(file, size);  // ICONDIRENTRY
  Put<uint8_t>(file, size);
  Put<uint8_t>(file, 0);  // 256 colours
  Put<uint8_t>(file, 0);
  Put<uint16_t>(file, 1);
  Put<uint16_t>(file, 8);
  Put<uint32_t>(file, uint32_t(image.size()));
  Put<uint32_t>(file, 22);
  file += image;
  return MakeFolder(path.parent_path(), error) &&
         outfile::WriteFile(path.string(), file.data(), file.size(), error);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--ico") {
    std::string error;
    if (WriteIco(argv[2], error)) return 0;
    std::fprintf(stderr, "lumetra-icon: %s: %s\n", argv[2], error.c_str());
    return 1;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: lumetra-icon DIR SIZE... | lumetra-icon --ico FILE\n");
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
    std::string error;
    if (!MakeFolder(dir, error)) {
      std::fprintf(stderr, "lumetra-icon: %s: %s\n", dir.c_str(), error.c_str());
      return 1;
    }
    const std::vector<uint8_t> rgba = Draw(size);
    if (!pngio::WritePng((dir / "lumetra.png").string(), size, size, 4, rgba.data(), false,
                         error)) {
      std::fprintf(stderr, "lumetra-icon: %s: %s\n", (dir / "lumetra.png").c_str(), error.c_str());
      return 1;
    }
  }
  return 0;
}
