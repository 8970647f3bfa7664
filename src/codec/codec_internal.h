// The codec's internal operations, shared by the decoder, the encoder, the tqz tool
// and the tests. Callers outside the codec normally need only codec.h.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/codec.h"

namespace codec {

// 2-bit symbols of the symbol stream.
enum Symbol : uint8_t { Zero = 0, ZeroRun = 1, Positive = 2, Negative = 3 };

constexpr double HaarFactor = 0.7071067811865476;  // 1 / sqrt(2)
constexpr int32_t TableEntries = 18;               // ScaleTable buffer: Depth at most 16
constexpr int32_t MaxDepth = TableEntries - 2;

// Number of channels a BitsPerPixel value stands for (0 when the file has no picture).
int32_t ChannelCount(uint8_t bitsPerPixel);

// Block sizes in bytes: ceil(n / 4) symbols; ceil(m * valueBits / 8) values, with the
// product taken as an unsigned 32-bit number.
uint64_t SymbolBlockSize(uint32_t symbolCount);
uint64_t ValueBlockSize(uint32_t valueCount, uint8_t valueBits);
// Bytes a file must have to hold everything its header declares (header, tables, blocks).
uint64_t DeclaredFileSize(const ImageHeader& header);
// Values the channel's value block really stores: the block is sized by the 32-bit
// product ValueCount x ValueBits, so a product that wrapped leaves room for fewer.
uint64_t StoredValueCount(uint32_t valueCount, uint8_t valueBits);
// Whether the channel's blocks back its counts: the value block stores every counted
// value, and the symbols, with runs only where a stored value is, can produce
// Width x Height coefficients at all. A file that fails this is read as truncated.
bool CountsAreBacked(const ImageHeader& header, int32_t channel);

// Packing and unpacking of the two streams.
std::vector<uint8_t> PackSymbols(const uint8_t* symbols, uint32_t count);
std::vector<uint8_t> PackValues(const uint8_t* values, uint32_t count, int32_t valueBits);
void UnpackSymbols(const uint8_t* block, uint32_t count, uint8_t* symbols);
// Unpacks count values from a block of blockSize bytes; bits past the block read as 0.
void UnpackValues(const uint8_t* block, uint64_t blockSize, uint32_t count, int32_t valueBits,
                  uint8_t* values);

// Decoder steps.
void ReadImageHeader(const std::string& fileName, ImageHeader& header);
// Writes every position of the plane: what the symbols leave unwritten is 0.
void ExpandSymbols(int32_t* plane, const uint8_t* symbols, uint32_t symbolCount,
                   const uint8_t* values, uint32_t valueCount, int32_t width, int32_t height);
void Dequantize(const int32_t* integers, double* plane, int32_t width, int32_t height,
                int32_t depth, const double* table);
// Multi-level inverse transform of the top-left w x h region; rebuilds the coarser
// levels of src in place first. dst may be src.
void InverseTransform(double* src, double* dst, int32_t w, int32_t h, int32_t stride,
                      int32_t fullHeight, int32_t depth);
void PlaneToGray(const double* plane, uint8_t* pixels, size_t count);
void PlanesToRgb(const double* red, const double* green, const double* blue, uint8_t* pixels,
                 size_t count);
// One channel (0 red, 1 green, 2 blue) of PlanesToRgb's words; channel 0 first.
void PlaneToRgbChannel(const double* plane, int32_t channel, uint8_t* pixels, size_t count);

// std::nearbyint for 0 <= x < 2^51 without a library call: the sum with 1.5 * 2^52
// has no fraction bits, so it is rounded in the current mode (nearest, halves to
// even) exactly as nearbyint rounds, and taking the constant away again is exact.
// Needs strict IEEE arithmetic in doubles (no -ffast-math, SSE2 as on x86-64).
inline double NearbyIntSmall(double x) {
  constexpr double shift = 6755399441055744.0;
  return (x + shift) - shift;
}

// Output sample to byte: <= 0 gives 0, below 255 rounds half to even, else (and NaN) 255.
inline uint8_t SampleToByte(double x) {
  double c = x < 255 ? x : 255;  // NaN fails the test and becomes 255
  c = c > 0 ? c : 0;
  return static_cast<uint8_t>(NearbyIntSmall(c));
}

// Pair i of the low-pass sequence L and the high-pass sequence D, both n long, with
// element m at low[m * step] and high[m * step]: the plain inverse Haar step, or at
// inner pairs with zero detail a 20 % lean towards the neighbouring low-pass value.
inline void RampSmoothing(const double* low, const double* high, ptrdiff_t step, int32_t n,
                          int32_t i, double& even, double& odd) {
  const double s = HaarFactor;
  const double l = low[i * step];
  const double d = high[i * step];
  if (d != 0 || i == 0 || i == n - 1) {
    even = (l + d) * s;
    odd = (l - d) * s;
    return;
  }
  const double prev = low[(i - 1) * step];
  const double next = low[(i + 1) * step];
  if (high[(i - 1) * step] == 0 && l != next && (i == n - 2 || low[(i + 2) * step] != next))
    even = (0.8 * l + 0.2 * prev) * s;
  else
    even = l * s;
  if (high[(i + 1) * step] == 0 && l != prev && (i == 1 || low[(i - 2) * step] != prev))
    odd = (0.8 * l + 0.2 * next) * s;
  else
    odd = l * s;
}

// Encoder step inside WriteImageFile: appends the plane's symbols and values, returning
// their numbers in symbolCount and valueCount. Both arrays hold width * height bytes.
void EncodeRuns(const int32_t* plane, int32_t width, int32_t height, int32_t valueBits,
                uint8_t* symbols, uint8_t* values, uint32_t& symbolCount, uint32_t& valueCount);

}  // namespace codec
