// The tqz decoder: header, streams, symbol expansion, dequantisation, inverse Haar
// transform with ramp smoothing, and rounding to pixels. Every size a file declares
// is checked against what the file holds before anything of that size is allocated.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "codec/codec_internal.h"
#include "framework/binfile/binfile.h"

namespace codec {
namespace {

// An uninitialised array of doubles (every element is written before it is read).
std::unique_ptr<double[]> NewPlane(size_t count) {
  return std::unique_ptr<double[]>(new double[count]);
}

// Symbols and values into plane (int32_t coefficients, or doubles holding the same
// integers): every position is written, what the symbols leave is 0.
template <typename Element>
void Expand(Element* plane, const uint8_t* symbols, uint32_t symbolCount, const uint8_t* values,
            uint32_t valueCount, int32_t width, int32_t height) {
  const uint64_t size = uint64_t(std::max(width, 0)) * uint64_t(std::max(height, 0));
  uint64_t p = 0;
  uint32_t j = 0;
  // Zero, Positive and Negative without branches: the value (0 for Zero) times a sign.
  static constexpr int32_t sign[4] = {0, 0, 1, -1};
  static constexpr uint8_t noValue = 0;
  const uint8_t* readable = valueCount ? values : &noValue;  // always safe to read
  const uint32_t last = valueCount ? valueCount - 1 : 0;
  for (uint32_t i = 0; i < symbolCount && p < size; ++i, ++p) {
    const uint8_t symbol = symbols[i] & 3;
    const bool takes = symbol != Zero;
    if (takes && j >= valueCount) break;  // a symbol without its value ends the expansion
    const int32_t v = readable[std::min(j, last)] * int32_t{takes};
    j += takes;
    if (symbol == ZeroRun) {
      // A run that would pass the plane's end stops at it.
      const uint64_t end = std::min<uint64_t>(p + v + 1, size);
      std::fill(plane + p, plane + end, Element{0});
      p += v;
    } else {
      plane[p] = static_cast<Element>(sign[symbol] * v);  // -0 is the integer 0: +0.0
    }
  }
  if (p < size) std::fill(plane + p, plane + size, Element{0});
}

// Reads the next channel's symbol and value blocks from file and expands them into
// plane. The caller has checked that the file holds both blocks.
template <typename Element>
void ReadChannel(binfile::File& file, uint32_t symbolCount, uint32_t valueCount,
                 uint8_t valueBits, Element* plane, int32_t width, int32_t height) {
  std::vector<uint8_t> block(SymbolBlockSize(symbolCount));
  binfile::Read(file, block.data(), block.size());
  std::vector<uint8_t> symbols(symbolCount);
  UnpackSymbols(block.data(), symbolCount, symbols.data());

  block.resize(ValueBlockSize(valueCount, valueBits));
  binfile::Read(file, block.data(), block.size());
  // Each symbol takes at most one value, so values beyond the symbol count are never used.
  const uint32_t usable = std::min(valueCount, symbolCount);
  std::vector<uint8_t> values(usable);
  UnpackValues(block.data(), block.size(), usable, valueBits, values.data());

  Expand(plane, symbols.data(), symbolCount, values.data(), usable, width, height);
}

// Integer coefficients (or doubles holding them) times each band's factor. source
// may be plane: every position is read once, then written.
template <typename Element>
void DequantizeFrom(const Element* source, double* plane, int32_t width, int32_t height,
                    int32_t depth, const double* table) {
  auto factor = [](double entry) { return entry != 0 ? 1 / entry : 0.0; };
  auto scale = [&](int32_t row, int32_t from, int32_t to, double f) {
    const size_t base = size_t(row) * size_t(width);
    for (int32_t x = from; x < to; ++x) plane[base + x] = source[base + x] * f;
  };
  for (int32_t k = 0; k <= depth; ++k) {
    const double f = factor(table[k]);
    const int32_t w = width >> k, h = height >> k;
    for (int32_t y = 0; y < (h >> 1); ++y) scale(y, w >> 1, w, f);
    for (int32_t y = h >> 1; y < h; ++y) scale(y, 0, w, f);
  }
  const double f = factor(table[depth + 1]);
  for (int32_t y = 0; y < (height >> (depth + 1)); ++y) scale(y, 0, width >> (depth + 1), f);
}

}  // namespace

void ReadImageHeader(const std::string& fileName, ImageHeader& header) {
  binfile::File file;
  binfile::OpenRead(file, fileName);
  binfile::Read(file, &header, sizeof header);
  binfile::Close(file);
}

void ExpandSymbols(int32_t* plane, const uint8_t* symbols, uint32_t symbolCount,
                   const uint8_t* values, uint32_t valueCount, int32_t width, int32_t height) {
  Expand(plane, symbols, symbolCount, values, valueCount, width, height);
}

void Dequantize(const int32_t* integers, double* plane, int32_t width, int32_t height,
                int32_t depth, const double* table) {
  DequantizeFrom(integers, plane, width, height, depth, table);
}

namespace {

typedef double V2 __attribute__((vector_size(16)));
typedef int64_t M2 __attribute__((vector_size(16)));
inline V2 Load2(const double* p) {
  V2 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void Store2(double* p, V2 v) { std::memcpy(p, &v, sizeof v); }

// The pair rule of RampSmoothing for two inner pairs at once, without branches (with
// d = 0, (l + d) * s is exactly l * s): the same operations on each lane as on one
// pair. farPrev and farNext: the low-pass value two pairs away differs from p or n
// (or there is none).
inline void InnerPairs(V2 l, V2 d, V2 p, V2 n, V2 prevDetail, V2 nextDetail, M2 farPrev,
                       M2 farNext, V2& even, V2& odd) {
  const V2 zero = {0, 0}, s = {HaarFactor, HaarFactor}, k8 = {0.8, 0.8}, k2 = {0.2, 0.2};
  const M2 flat = d == zero;
  const M2 leanEven = flat & (prevDetail == zero) & (l != n) & farNext;
  const M2 leanOdd = flat & (nextDetail == zero) & (l != p) & farPrev;
  even = leanEven ? (k8 * l + k2 * p) * s : (l + d) * s;
  odd = leanOdd ? (k8 * l + k2 * n) * s : (l - d) * s;
}

// Horizontal pass of one row: low-pass L[0 .. n - 1], details D[0 .. n - 1], pairs
// interleaved into out.
void HorizontalPass(const double* L, const double* D, int32_t n, double* out) {
  auto pairs = [&](int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i) RampSmoothing(L, D, 1, n, i, out[2 * i], out[2 * i + 1]);
  };
  int32_t i = std::min(n, 2);
  pairs(0, i);
  // Two pairs at a time where both have both neighbours two pairs away.
  for (; i + 1 <= n - 3; i += 2) {
    const V2 p = Load2(L + i - 1), nx = Load2(L + i + 1);
    V2 even, odd;
    InnerPairs(Load2(L + i), Load2(D + i), p, nx, Load2(D + i - 1), Load2(D + i + 1),
               Load2(L + i - 2) != p, Load2(L + i + 2) != nx, even, odd);
    Store2(out + 2 * i, __builtin_shufflevector(even, odd, 0, 2));
    Store2(out + 2 * i + 2, __builtin_shufflevector(even, odd, 1, 3));
  }
  pairs(i, n);
}

// Vertical pass of one level into scratch (rows w doubles apart): low-pass rows
// 0 .. nh - 1 of src, detail rows nh .. 2 nh - 1.
void VerticalPass(const double* src, int32_t w, int32_t nh, int32_t stride, double* scratch) {
  const double s = HaarFactor;
  auto low = [&](int32_t m) { return src + size_t(m) * stride; };
  auto detail = [&](int32_t m) { return src + size_t(nh + m) * stride; };
  for (int32_t i = 0; i < nh; ++i) {
    double* even = scratch + size_t(2 * i) * w;
    double* odd = even + w;
    const double* L = low(i);
    const double* D = detail(i);
    if (i == 0 || i == nh - 1) {  // outer pairs are always plain
      for (int32_t x = 0; x < w; ++x) {
        even[x] = (L[x] + D[x]) * s;
        odd[x] = (L[x] - D[x]) * s;
      }
      continue;
    }
    const double* prev = low(i - 1);
    const double* next = low(i + 1);
    const double* prevDetail = detail(i - 1);
    const double* nextDetail = detail(i + 1);
    // Two pairs away; where there is none the row is read but the test is true anyway.
    const bool noSecondPrev = i == 1, noSecondNext = i == nh - 2;
    const double* prev2 = noSecondPrev ? prev : low(i - 2);
    const double* next2 = noSecondNext ? next : low(i + 2);
    int32_t x = 0;
    // Two columns at a time.
    const M2 always = {-1, -1};
    for (; x + 2 <= w; x += 2) {
      const V2 p = Load2(prev + x), n = Load2(next + x);
      V2 e, o;
      InnerPairs(Load2(L + x), Load2(D + x), p, n, Load2(prevDetail + x),
                 Load2(nextDetail + x), noSecondPrev ? always : (Load2(prev2 + x) != p),
                 noSecondNext ? always : (Load2(next2 + x) != n), e, o);
      Store2(even + x, e);
      Store2(odd + x, o);
    }
    for (; x < w; ++x)
      RampSmoothing(src + x, src + size_t(nh) * stride + x, stride, nh, i, even[x], odd[x]);
  }
}

// One level after the coarser ones. The vertical pass reads only src and the
// horizontal pass only the scratch plane, so the result can go straight to dst, even
// when dst is src.
void InverseLevels(double* src, double* dst, int32_t w, int32_t h, int32_t stride,
                   int32_t depth, double* scratch) {
  if (w <= 0 || h <= 0) return;
  if (depth > 0) InverseLevels(src, src, w / 2, h / 2, stride, depth - 1, scratch);
  const int32_t nw = w / 2, nh = h / 2;
  // Odd extents: the unpaired last row or column of a level comes out 0.
  if (h % 2) std::fill(scratch + size_t(h - 1) * w, scratch + size_t(h) * w, 0.0);
  VerticalPass(src, w, nh, stride, scratch);
  // Horizontal pass along every row of the scratch plane.
  for (int32_t y = 0; y < h; ++y) {
    const double* row = scratch + size_t(y) * w;
    double* out = dst + size_t(y) * stride;
    HorizontalPass(row, row + nw, nw, out);
    if (w % 2) out[w - 1] = 0;
  }
}

}  // namespace

void InverseTransform(double* src, double* dst, int32_t w, int32_t h, int32_t stride,
                      int32_t fullHeight, int32_t depth) {
  (void)fullHeight;  // one scratch plane of the region serves every level
  if (w <= 0 || h <= 0) return;
  auto scratch = NewPlane(size_t(w) * size_t(h));
  InverseLevels(src, dst, w, h, stride, depth, scratch.get());
}

void PlaneToGray(const double* plane, uint8_t* pixels, size_t count) {
  for (size_t p = 0; p < count; ++p) pixels[p] = SampleToByte(plane[p]);
}

void PlanesToRgb(const double* red, const double* green, const double* blue, uint8_t* pixels,
                 size_t count) {
  for (size_t p = 0; p < count; ++p) {
    const uint32_t word = uint32_t{SampleToByte(red[p])} << 16 |
                          uint32_t{SampleToByte(green[p])} << 8 | SampleToByte(blue[p]);
    std::memcpy(pixels + 4 * p, &word, 4);  // little-endian: blue, green, red, 0
  }
}

// Channel 1 writes whole words (red, with green, blue and the top byte 0); channels 2
// and 3 then fill in green and blue, so the words come out as PlanesToRgb makes them.
void PlaneToRgbChannel(const double* plane, int32_t channel, uint8_t* pixels, size_t count) {
  if (channel == 0) {
    for (size_t p = 0; p < count; ++p) {
      const uint32_t word = uint32_t{SampleToByte(plane[p])} << 16;
      std::memcpy(pixels + 4 * p, &word, 4);
    }
    return;
  }
  const int32_t lane = 2 - channel;  // green in byte 1, blue in byte 0
  for (size_t p = 0; p < count; ++p) pixels[4 * p + lane] = SampleToByte(plane[p]);
}

void DecodeImageFile(uint8_t*& pixels, ImageHeader& header, const std::string& fileName,
                     bool allocate) {
  ReadImageHeader(fileName, header);
  const ImageHeader layout = header;
  const int32_t channels = ChannelCount(layout.BitsPerPixel);
  if (channels == 0) return;  // no picture data: header only, buffer untouched

  // The file must hold every block its header declares, and the blocks must back the
  // counts; otherwise it is truncated (a short read), found before any allocation of
  // the picture's size.
  binfile::File file;
  binfile::OpenRead(file, fileName);
  bool holds = binfile::Size(file) >= DeclaredFileSize(layout);
  for (int32_t c = 0; c < channels; ++c) holds = holds && CountsAreBacked(layout, c);
  if (!holds) binfile::Fail(fileName, binfile::ShortRead);

  const size_t count = size_t{layout.Width} * layout.Height;
  if (allocate) {
    const size_t bytes = count * (channels == 1 ? 1 : 4);
    if (bytes == 0) {
      std::free(pixels);
      pixels = nullptr;
    } else {
      void* resized = std::realloc(pixels, bytes);
      if (!resized) binfile::Fail(fileName, binfile::OutOfMemory);
      pixels = static_cast<uint8_t*>(resized);
    }
  }
  if (count == 0) return;
  // Levels from 16 on cover no positions (sizes are 16-bit), so deeper files use 16.
  const int32_t depth = std::min<int32_t>(layout.Depth, MaxDepth);

  // The streams follow the file's own header; the tables of every channel come
  // first. Depth above 16: the entries past the buffer's 18 are read and dropped.
  ImageHeader own;
  binfile::Read(file, &own, sizeof own);
  double tables[3][TableEntries] = {};
  const uint32_t entries = uint32_t{layout.Depth} + 2;
  const uint32_t kept = std::min<uint32_t>(entries, TableEntries);
  for (int32_t c = 0; c < channels; ++c) {
    binfile::Read(file, tables[c], kept * sizeof(double));
    for (uint32_t e = kept; e < entries; ++e) {
      double dropped;
      binfile::Read(file, &dropped, sizeof dropped);
    }
  }

  // One channel at a time, in one plane of doubles and one shared scratch plane:
  // the coefficients (integers, exact in a double) are expanded into the plane,
  // dequantised and transformed in place, and its bytes go straight into the pixels.
  // Memory: 16 bytes per pixel plus the pixel buffer, whatever the channels.
  try {
    auto plane = NewPlane(count);
    auto scratch = NewPlane(count);
    for (int32_t c = 0; c < channels; ++c) {
      ReadChannel(file, own.SymbolCount[c], own.ValueCount[c], own.ValueBits, plane.get(),
                  layout.Width, layout.Height);
      DequantizeFrom(plane.get(), plane.get(), layout.Width, layout.Height, depth, tables[c]);
      InverseLevels(plane.get(), plane.get(), layout.Width, layout.Height, layout.Width, depth,
                    scratch.get());
      if (channels == 1)
        PlaneToGray(plane.get(), pixels, count);
      else
        PlaneToRgbChannel(plane.get(), c, pixels, count);
    }
  } catch (const std::bad_alloc&) {
    binfile::Fail(fileName, binfile::OutOfMemory);
  }
  binfile::Close(file);
}

bool DecodeImageFileWithin(uint8_t*& pixels, ImageHeader& header, const std::string& fileName,
                           int32_t largestSide) {
  ReadImageHeader(fileName, header);
  if (header.Width > largestSide || header.Height > largestSide) return false;
  DecodeImageFile(pixels, header, fileName, true);
  return true;
}

}  // namespace codec
