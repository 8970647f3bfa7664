// The tqz encoder: forward Haar transform, detail thresholding, per-band
// quantisation, run coding and the file writer.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "codec/codec_internal.h"
#include "framework/binfile/binfile.h"

namespace codec {
namespace {

// Visits every position of band k (0 .. depth: detail positions of level k;
// depth + 1: the approximation band) as f(index).
template <typename F>
void ForEachInBand(int32_t width, int32_t height, int32_t depth, int32_t k, F&& f) {
  auto span = [&](int32_t y, int32_t from, int32_t to) {
    const size_t base = size_t(y) * size_t(width);
    for (int32_t x = from; x < to; ++x) f(base + x);
  };
  if (k > depth) {
    for (int32_t y = 0; y < (height >> (depth + 1)); ++y) span(y, 0, width >> (depth + 1));
    return;
  }
  const int32_t w = width >> k, h = height >> k;
  for (int32_t y = 0; y < (h >> 1); ++y) span(y, w >> 1, w);
  for (int32_t y = h >> 1; y < h; ++y) span(y, 0, w);
}

// Round half to even, kept inside the 32-bit range.
int32_t RoundToInt(double x) {
  const double r = std::nearbyint(x);
  if (!(r > -2147483648.0)) return r != r ? 0 : INT32_MIN;
  if (r > 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(r);
}

}  // namespace

void ForwardTransform(const double* src, double* dst, int32_t w, int32_t h, int32_t stride,
                      int32_t fullHeight, int32_t depth) {
  (void)fullHeight;  // the temporaries need only the region
  if (w <= 0 || h <= 0) return;
  const double s = HaarFactor;
  const int32_t nw = w / 2, nh = h / 2;
  std::unique_ptr<double[]> t1(new double[size_t(w) * h]());
  std::unique_ptr<double[]> t2(new double[size_t(w) * h]());
  for (int32_t y = 0; y < h; ++y) {
    const double* row = src + size_t(y) * stride;
    double* out = t1.get() + size_t(y) * w;
    for (int32_t i = 0; i < nw; ++i) {
      const double a = row[2 * i], b = row[2 * i + 1];
      out[i] = (a + b) * s;
      out[nw + i] = (a - b) * s;
    }
  }
  for (int32_t i = 0; i < nh; ++i) {
    const double* a = t1.get() + size_t(2 * i) * w;
    const double* b = a + w;
    double* low = t2.get() + size_t(i) * w;
    double* high = t2.get() + size_t(nh + i) * w;
    for (int32_t x = 0; x < w; ++x) {
      low[x] = (a[x] + b[x]) * s;
      high[x] = (a[x] - b[x]) * s;
    }
  }
  for (int32_t y = 0; y < h; ++y)
    std::memcpy(dst + size_t(y) * stride, t2.get() + size_t(y) * w, size_t(w) * sizeof(double));
  if (depth > 0) ForwardTransform(dst, dst, w / 2, h / 2, stride, fullHeight, depth - 1);
}

int32_t ThresholdDetails(double* plane, double threshold, int32_t width, int32_t height,
                         int32_t level) {
  int32_t count = 0;
  const int32_t shift = std::min(level + 1, 31);
  for (int32_t j = 0; j < height; ++j) {
    const int32_t c0 = j < (height >> shift) ? (width >> shift) : 0;
    double* row = plane + size_t(j) * width;
    for (int32_t x = c0; x < width; ++x) {
      if (row[x] != 0 && std::fabs(row[x]) <= threshold) {
        row[x] = 0;
        ++count;
      }
    }
  }
  return count;
}

void Quantize(const double* coefficients, int32_t* integers, int32_t width, int32_t height,
              int32_t depth, int32_t valueBits, double* table) {
  const double top = std::ldexp(1.0, valueBits) - 1;
  for (int32_t k = 0; k <= depth + 1; ++k) {
    double mn = 100000000.0, mx = -100000000.0;
    ForEachInBand(width, height, depth, k, [&](size_t p) {
      mn = std::min(mn, coefficients[p]);
      mx = std::max(mx, coefficients[p]);
    });
    double scale = 0;
    if (!(mn == 0 && mx == 0)) scale = top / (std::fabs(mx) < std::fabs(mn) ? std::fabs(mn) : std::fabs(mx));
    ForEachInBand(width, height, depth, k,
                  [&](size_t p) { integers[p] = RoundToInt(coefficients[p] * scale); });
    table[k] = scale;
  }
}

int32_t CountZeros(const int32_t* integers, int32_t width, int32_t height) {
  const size_t count = size_t(std::max(width, 0)) * size_t(std::max(height, 0));
  return static_cast<int32_t>(std::count(integers, integers + count, 0));
}

void EncodeRuns(const int32_t* plane, int32_t width, int32_t height, int32_t valueBits,
                uint8_t* symbols, uint8_t* values, uint32_t& symbolCount, uint32_t& valueCount) {
  const uint64_t size = uint64_t(std::max(width, 0)) * uint64_t(std::max(height, 0));
  const uint64_t longest = (uint64_t{1} << std::clamp(valueBits, 0, 32)) - 1;
  const uint64_t shortest = uint64_t(valueBits + 1) / 2;  // ceil(B / 2): longer runs pay
  symbolCount = 0;
  valueCount = 0;
  uint64_t p = 0;
  while (p < size) {
    const int32_t q = plane[p];
    if (q == 0) {
      // The plane's last position is never part of a run.
      uint64_t r = 0;
      while (p + 1 + r < size - 1 && r < longest && plane[p + 1 + r] == 0) ++r;
      if (r > shortest) {
        symbols[symbolCount++] = ZeroRun;
        values[valueCount++] = static_cast<uint8_t>(r);
        p += r + 1;
      } else {
        symbols[symbolCount++] = Zero;
        p += 1;
      }
    } else {
      symbols[symbolCount++] = q > 0 ? Positive : Negative;
      values[valueCount++] = static_cast<uint8_t>(q > 0 ? q : -int64_t{q});
      p += 1;
    }
  }
}

namespace {

// The whole file in memory: header, tables, then each channel's symbol and value
// blocks (written in one go, so the output need not be seekable).
std::vector<uint8_t> ImageFileBytes(const int32_t* plane1, const int32_t* plane2,
                                    const int32_t* plane3, int32_t width, int32_t height,
                                    int32_t bitsPerPixel, int32_t depth, const double* table1,
                                    const double* table2, const double* table3,
                                    int32_t valueBits) {
  ImageHeader header{};
  std::memcpy(header.Magic, "TQZ", 3);
  header.Width = static_cast<uint16_t>(width);
  header.Height = static_cast<uint16_t>(height);
  header.BitsPerPixel = static_cast<uint8_t>(bitsPerPixel);
  header.Depth = static_cast<uint8_t>(depth);
  header.ValueBits = static_cast<uint8_t>(valueBits);
  const size_t count = size_t(std::max(width, 0)) * size_t(std::max(height, 0));
  std::vector<uint8_t> symbols(count), values(count);

  const int32_t channels = bitsPerPixel == 8 ? 1 : bitsPerPixel == 24 ? 3 : 0;
  if (channels == 0) return {};  // nothing to write
  const int32_t* planes[3] = {plane1, plane2, plane3};
  const double* tables[3] = {table1, table2, table3};
  const size_t tableBytes = size_t(std::max(depth + 2, 0)) * sizeof(double);
  std::vector<uint8_t> bytes(sizeof header);
  auto append = [&bytes](const void* data, size_t size) {
    const uint8_t* from = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), from, from + size);
  };
  for (int32_t t = 0; t < channels; ++t) append(tables[t], tableBytes);
  for (int32_t c = 0; c < channels; ++c) {
    uint32_t n = 0, m = 0;
    EncodeRuns(planes[c], width, height, valueBits, symbols.data(), values.data(), n, m);
    const std::vector<uint8_t> symbolBlock = PackSymbols(symbols.data(), n);
    const std::vector<uint8_t> valueBlock = PackValues(values.data(), m, valueBits);
    header.SymbolCount[c] = n;
    header.ValueCount[c] = m;
    append(symbolBlock.data(), symbolBlock.size());
    append(valueBlock.data(), valueBlock.size());
  }
  std::memcpy(bytes.data(), &header, sizeof header);
  return bytes;
}

void WriteBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
  binfile::File file;
  binfile::Create(file, fileName);
  binfile::Write(file, bytes.data(), bytes.size());
  binfile::Close(file);
}

}  // namespace

void WriteImageFile(const std::string& fileName, const int32_t* plane1, const int32_t* plane2,
                    const int32_t* plane3, int32_t width, int32_t height, int32_t bitsPerPixel,
                    int32_t depth, const double* table1, const double* table2,
                    const double* table3, int32_t valueBits) {
  WriteBytes(fileName, ImageFileBytes(plane1, plane2, plane3, width, height, bitsPerPixel, depth,
                                      table1, table2, table3, valueBits));
}

std::vector<uint8_t> EncodeImageBytes(const uint8_t* pixels, int32_t width, int32_t height,
                                      int32_t channels, int32_t depth, int32_t valueBits,
                                      double threshold) {
  const size_t count = size_t(width) * size_t(height);
  const int32_t planeCount = channels == 1 ? 1 : 3;
  std::vector<double> samples(count), coefficients(count);
  std::vector<int32_t> integers(count * planeCount);
  std::vector<double> tables(size_t(depth + 2) * planeCount);
  const int32_t* planes[3] = {};
  const double* tableOf[3] = {};
  for (int32_t c = 0; c < planeCount; ++c) {
    for (size_t p = 0; p < count; ++p) samples[p] = pixels[p * channels + c];
    ForwardTransform(samples.data(), coefficients.data(), width, height, width, height, depth);
    if (threshold > 0) ThresholdDetails(coefficients.data(), threshold, width, height, depth);
    int32_t* plane = integers.data() + count * c;
    double* table = tables.data() + size_t(depth + 2) * c;
    Quantize(coefficients.data(), plane, width, height, depth, valueBits, table);
    planes[c] = plane;
    tableOf[c] = table;
  }
  return ImageFileBytes(planes[0], planes[1], planes[2], width, height, planeCount == 1 ? 8 : 24,
                        depth, tableOf[0], tableOf[1], tableOf[2], valueBits);
}

void EncodeImage(const std::string& fileName, const uint8_t* pixels, int32_t width,
                 int32_t height, int32_t channels, int32_t depth, int32_t valueBits,
                 double threshold) {
  WriteBytes(fileName,
             EncodeImageBytes(pixels, width, height, channels, depth, valueBits, threshold));
}

}  // namespace codec
