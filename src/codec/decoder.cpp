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

// Reads one channel's symbol and value blocks and expands them into plane.
void ReadChannel(binfile::File& file, uint64_t fileSize, uint32_t symbolCount,
                 uint32_t valueCount, uint8_t valueBits, int32_t* plane, int32_t width,
                 int32_t height) {
  const uint64_t symbolBytes = SymbolBlockSize(symbolCount);
  const uint64_t valueBytes = ValueBlockSize(valueCount, valueBits);
  // Blocks longer than the rest of the file are short reads: fail before allocating them.
  if (symbolBytes + valueBytes > fileSize - std::min<uint64_t>(fileSize, ftello(file.Handle)))
    binfile::Fail(file.Name, binfile::ShortRead);

  std::vector<uint8_t> block(symbolBytes);
  binfile::Read(file, block.data(), block.size());
  std::vector<uint8_t> symbols(symbolCount);
  UnpackSymbols(block.data(), symbolCount, symbols.data());

  block.resize(valueBytes);
  binfile::Read(file, block.data(), block.size());
  // Each symbol takes at most one value, so values beyond the symbol count are never used.
  const uint32_t usable = std::min(valueCount, symbolCount);
  std::vector<uint8_t> values(usable);
  UnpackValues(block.data(), block.size(), usable, valueBits, values.data());

  ExpandSymbols(plane, symbols.data(), symbolCount, values.data(), usable, width, height);
}

}  // namespace

void ReadImageHeader(const std::string& fileName, ImageHeader& header) {
  binfile::File file;
  binfile::OpenRead(file, fileName);
  binfile::Read(file, &header, sizeof header);
  binfile::Close(file);
}

void ReadImageStreams(const std::string& fileName, const ImageHeader& layout,
                      int32_t* const planes[3], double* const tables[3]) {
  binfile::File file;
  binfile::OpenRead(file, fileName);
  const uint64_t fileSize = binfile::Size(file);
  ImageHeader own;
  binfile::Read(file, &own, sizeof own);
  const int32_t channels = ChannelCount(layout.BitsPerPixel);
  // Depth above 16: the entries past the buffer's 18 are read and dropped. Levels 16
  // and up cover no positions at any 16-bit size, so nothing is lost.
  const uint32_t entries = uint32_t{layout.Depth} + 2;
  for (int32_t c = 0; c < channels; ++c) {
    const uint32_t kept = std::min<uint32_t>(entries, TableEntries);
    binfile::Read(file, tables[c], kept * sizeof(double));
    for (uint32_t e = kept; e < entries; ++e) {
      double dropped;
      binfile::Read(file, &dropped, sizeof dropped);
    }
  }
  for (int32_t c = 0; c < channels; ++c)
    ReadChannel(file, fileSize, own.SymbolCount[c], own.ValueCount[c], own.ValueBits,
                planes[c], layout.Width, layout.Height);
  binfile::Close(file);
}

void ExpandSymbols(int32_t* plane, const uint8_t* symbols, uint32_t symbolCount,
                   const uint8_t* values, uint32_t valueCount, int32_t width, int32_t height) {
  const uint64_t size = uint64_t(std::max(width, 0)) * uint64_t(std::max(height, 0));
  uint64_t p = 0;
  uint32_t j = 0;
  for (uint32_t i = 0; i < symbolCount && p < size; ++i, ++p) {
    const uint8_t symbol = symbols[i];
    if (symbol == Zero) {
      plane[p] = 0;
      continue;
    }
    if (j >= valueCount) return;  // a symbol without its value ends the expansion
    const uint8_t v = values[j++];
    if (symbol == ZeroRun) {
      // A run that would pass the plane's end stops at it.
      const uint64_t end = std::min<uint64_t>(p + v + 1, size);
      std::fill(plane + p, plane + end, 0);
      p += v;
    } else {
      plane[p] = symbol == Positive ? int32_t{v} : -int32_t{v};
    }
  }
}

void Dequantize(const int32_t* integers, double* plane, int32_t width, int32_t height,
                int32_t depth, const double* table) {
  auto factor = [](double entry) { return entry != 0 ? 1 / entry : 0.0; };
  auto scale = [&](int32_t row, int32_t from, int32_t to, double f) {
    const size_t base = size_t(row) * size_t(width);
    for (int32_t x = from; x < to; ++x) plane[base + x] = integers[base + x] * f;
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

void InverseTransform(double* src, double* dst, int32_t w, int32_t h, int32_t stride,
                      int32_t fullHeight, int32_t depth) {
  if (w <= 0 || h <= 0) return;
  if (depth > 0) InverseTransform(src, src, w / 2, h / 2, stride, fullHeight, depth - 1);
  // The temporaries hold only the region, w doubles to a row.
  const int32_t nw = w / 2, nh = h / 2;
  auto t1 = NewPlane(size_t(w) * size_t(h));
  auto t2 = NewPlane(size_t(w) * size_t(h));
  // Odd extents: the unpaired last row or column of a level comes out 0.
  if (h % 2) std::fill(t2.get() + size_t(h - 1) * w, t2.get() + size_t(h) * w, 0.0);
  if (w % 2)
    for (int32_t y = 0; y < h; ++y) t1[size_t(y) * w + w - 1] = 0;

  // Vertical pass: pairs of rows, every column of a row pair at once.
  for (int32_t i = 0; i < nh; ++i) {
    double* even = t2.get() + size_t(2 * i) * w;
    double* odd = even + w;
    for (int32_t x = 0; x < w; ++x)
      RampSmoothing(src + x, src + size_t(nh) * stride + x, stride, nh, i, even[x], odd[x]);
  }
  // Horizontal pass along every row.
  for (int32_t y = 0; y < h; ++y) {
    const double* row = t2.get() + size_t(y) * w;
    double* out = t1.get() + size_t(y) * w;
    for (int32_t i = 0; i < nw; ++i) RampSmoothing(row, row + nw, 1, nw, i, out[2 * i], out[2 * i + 1]);
  }
  for (int32_t y = 0; y < h; ++y)
    std::memcpy(dst + size_t(y) * stride, t1.get() + size_t(y) * w, size_t(w) * sizeof(double));
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

void DecodeImageFile(uint8_t*& pixels, ImageHeader& header, const std::string& fileName,
                     bool allocate) {
  ReadImageHeader(fileName, header);
  const ImageHeader layout = header;
  const int32_t channels = ChannelCount(layout.BitsPerPixel);
  if (channels == 0) return;  // no picture data: header only, buffer untouched

  // The file must hold every block its header declares, and its symbols must be able
  // to cover the plane; otherwise it is truncated (a short read), found before any
  // allocation of the picture's size.
  {
    binfile::File file;
    binfile::OpenRead(file, fileName);
    bool holds = binfile::Size(file) >= DeclaredFileSize(layout);
    for (int32_t c = 0; c < channels; ++c) holds = holds && SymbolsCanFillPlane(layout, c);
    binfile::Close(file);
    if (!holds) binfile::Fail(fileName, binfile::ShortRead);
  }

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

  try {
    // Positions that a short symbol stream leaves unwritten stay 0.
    std::vector<int32_t> integers(count * channels, 0);
    std::vector<double> tableStore(size_t(TableEntries) * channels, 0.0);
    int32_t* planes[3] = {};
    double* tables[3] = {};
    for (int32_t c = 0; c < channels; ++c) {
      planes[c] = integers.data() + count * c;
      tables[c] = tableStore.data() + size_t(TableEntries) * c;
    }
    ReadImageStreams(fileName, layout, planes, tables);

    std::unique_ptr<double[]> outputs[3];
    auto work = NewPlane(count);
    for (int32_t c = 0; c < channels; ++c) {
      Dequantize(planes[c], work.get(), layout.Width, layout.Height, depth, tables[c]);
      outputs[c] = NewPlane(count);
      InverseTransform(work.get(), outputs[c].get(), layout.Width, layout.Height, layout.Width,
                       layout.Height, depth);
    }
    if (channels == 1)
      PlaneToGray(outputs[0].get(), pixels, count);
    else
      PlanesToRgb(outputs[0].get(), outputs[1].get(), outputs[2].get(), pixels, count);
  } catch (const std::bad_alloc&) {
    binfile::Fail(fileName, binfile::OutOfMemory);
  }
}

}  // namespace codec
