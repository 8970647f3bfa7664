// A second decoder written straight from the format description in plain doubles,
// with full-size temporaries and per-position band lookup, must give the same bytes
// as DecodeImageFile.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "codec_test_util.h"

namespace {

using Plane = std::vector<double>;

uint32_t Le(const std::vector<uint8_t>& f, size_t at, int bytes) {
  uint32_t v = 0;
  for (int b = 0; b < bytes; ++b) v |= uint32_t(f.at(at + b)) << (8 * b);
  return v;
}

// Band of position (x, y): the level whose detail region holds it, or depth + 1.
int Band(int x, int y, int w, int h, int depth) {
  for (int k = 0; k <= depth; ++k)
    if (x >= (w >> (k + 1)) || y >= (h >> (k + 1))) return k;
  return depth + 1;
}

void Pair(const std::vector<double>& L, const std::vector<double>& D, int i, double& e,
          double& o) {
  const double s = 0.7071067811865476;
  const int n = int(L.size());
  if (D[i] != 0 || i == 0 || i == n - 1) {
    e = (L[i] + D[i]) * s;
    o = (L[i] - D[i]) * s;
    return;
  }
  bool leanEven = D[i - 1] == 0 && L[i] != L[i + 1] && (i == n - 2 || L[i + 2] != L[i + 1]);
  bool leanOdd = D[i + 1] == 0 && L[i] != L[i - 1] && (i == 1 || L[i - 2] != L[i - 1]);
  e = leanEven ? (0.8 * L[i] + 0.2 * L[i - 1]) * s : L[i] * s;
  o = leanOdd ? (0.8 * L[i] + 0.2 * L[i + 1]) * s : L[i] * s;
}

void Inverse(Plane& src, Plane& dst, int w, int h, int stride, int fullHeight, int depth) {
  if (depth > 0) Inverse(src, src, w / 2, h / 2, stride, fullHeight, depth - 1);
  Plane t1(size_t(stride) * fullHeight), t2(size_t(stride) * fullHeight);
  for (int x = 0; x < w; ++x) {
    std::vector<double> L(h / 2), D(h / 2);
    for (int m = 0; m < h / 2; ++m) {
      L[m] = src[m * stride + x];
      D[m] = src[(h / 2 + m) * stride + x];
    }
    for (int i = 0; i < h / 2; ++i) Pair(L, D, i, t2[2 * i * stride + x], t2[(2 * i + 1) * stride + x]);
  }
  for (int y = 0; y < h; ++y) {
    std::vector<double> L(w / 2), D(w / 2);
    for (int m = 0; m < w / 2; ++m) {
      L[m] = t2[y * stride + m];
      D[m] = t2[y * stride + w / 2 + m];
    }
    for (int i = 0; i < w / 2; ++i) Pair(L, D, i, t1[y * stride + 2 * i], t1[y * stride + 2 * i + 1]);
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) dst[y * stride + x] = t1[y * stride + x];
}

uint8_t ToByte(double x) {
  if (x <= 0) return 0;
  if (x < 255) return uint8_t(std::nearbyint(x));
  return 255;
}

// Decodes a well-formed file to 1 or 3 bytes per pixel.
std::vector<uint8_t> ReferenceDecode(const std::vector<uint8_t>& f) {
  const int w = int(Le(f, 3, 2)), h = int(Le(f, 5, 2)), channels = f[7] == 8 ? 1 : 3;
  const int depth = f[8], bits = f[33];
  size_t at = 34;
  std::vector<std::vector<double>> tables(channels, std::vector<double>(depth + 2));
  for (auto& table : tables)
    for (double& entry : table) {
      std::memcpy(&entry, &f[at], 8);
      at += 8;
    }
  std::vector<Plane> out;
  for (int c = 0; c < channels; ++c) {
    const uint32_t n = Le(f, 9 + 4 * c, 4), m = Le(f, 21 + 4 * c, 4);
    std::vector<int> symbols, values;
    for (uint32_t j = 0; j < n; ++j) symbols.push_back((f[at + j / 4] >> (2 * (j % 4))) & 3);
    at += (n + 3) / 4;
    for (uint32_t j = 0; j < m; ++j) {
      int v = 0;
      for (int b = 0; b < bits; ++b) {
        const size_t bit = size_t(j) * bits + b;
        v |= ((f[at + bit / 8] >> (bit % 8)) & 1) << b;
      }
      values.push_back(v);
    }
    at += (size_t(m) * bits + 7) / 8;
    std::vector<int> integers(size_t(w) * h, 0);
    size_t p = 0, j = 0;
    for (int symbol : symbols) {
      if (symbol == 0) {
        integers[p++] = 0;
      } else if (symbol == 1) {
        p += values[j++] + 1;
      } else {
        integers[p++] = symbol == 2 ? values[j++] : -values[j++];
      }
    }
    EXPECT_EQ(p, size_t(w) * h);
    Plane coefficients(size_t(w) * h), result(size_t(w) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const double entry = tables[c][Band(x, y, w, h, depth)];
        const double f = entry != 0 ? 1 / entry : 0;
        coefficients[y * w + x] = integers[y * w + x] * f;
      }
    Inverse(coefficients, result, w, h, w, h, depth);
    out.push_back(result);
  }
  std::vector<uint8_t> rows;
  for (size_t p = 0; p < size_t(w) * h; ++p)
    for (int c = 0; c < channels; ++c) rows.push_back(ToByte(out[c][p]));
  return rows;
}

}  // namespace

TEST(ReferenceDecoder, GivesTheSameBytesAsTheDecoder) {
  codectest::FailureCatcher catcher;
  struct Case {
    int32_t width, height, channels, depth, bits;
    double threshold;
  };
  // Thresholds and few value bits leave many zero details, where smoothing applies.
  const Case cases[] = {{64, 64, 3, 3, 8, 0},  {64, 32, 1, 2, 4, 6},  {128, 64, 3, 5, 8, 12},
                        {32, 32, 1, 0, 2, 0},  {48, 80, 3, 3, 5, 3},  {16, 16, 1, 3, 1, 0}};
  for (const Case& c : cases) {
    const auto rows = codectest::TestPicture(c.width, c.height, c.channels);
    const std::string path = codectest::TempPath("reference.tqz");
    codec::EncodeImage(path, rows.data(), c.width, c.height, c.channels, c.depth, c.bits,
                       c.threshold);
    codec::ImageHeader header;
    const auto decoded = codectest::DecodeToRows(path, header);
    EXPECT_EQ(decoded, ReferenceDecode(codectest::ReadBytes(path)))
        << c.width << "x" << c.height << " depth " << c.depth << " bits " << c.bits;
  }
}

TEST(ReferenceDecoder, InverseTransformMatchesOnPlanesFullOfTiesAndZeros) {
  // Values from a small set make equal neighbours and zero details common, so every
  // branch of the pair rule is taken; odd sizes leave unpaired rows and columns.
  uint32_t state = 7;
  const double choices[] = {0, 0, 0, 1, 2, 5, -3, 0.5};
  const std::pair<int, int> sizes[] = {{64, 64}, {40, 24}, {17, 9}, {6, 30}, {3, 3}, {128, 8}};
  for (auto [w, h] : sizes) {
    for (int depth = 0; depth <= 3; ++depth) {
      Plane plane(size_t(w) * h);
      for (double& v : plane) {
        state = state * 1103515245u + 12345u;
        v = choices[(state >> 16) % 8] * 16;
      }
      Plane a = plane, b = plane, outA(plane.size(), -1), outB(plane.size(), -1);
      codec::InverseTransform(a.data(), outA.data(), w, h, w, h, depth);
      Inverse(b, outB, w, h, w, h, depth);
      EXPECT_EQ(outA, outB) << w << "x" << h << " depth " << depth;
    }
  }
}
