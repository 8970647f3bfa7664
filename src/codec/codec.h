// Corvane image codec: the .tqz file format (multi-level Haar wavelet, per-band
// quantisation, 2-bit symbol stream and packed value stream), its decoder and encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace codec {

#pragma pack(push, 1)
// The 34-byte file header, also the in-memory record the decoder fills.
struct ImageHeader {
  char Magic[3];            // "TQZ", not checked by the decoder
  uint16_t Width;           // pixels per row
  uint16_t Height;          // rows
  uint8_t BitsPerPixel;     // 8 (grey) or 24 (red, green, blue)
  uint8_t Depth;            // transform levels 0 .. Depth
  uint32_t SymbolCount[3];  // 2-bit symbols per channel
  uint32_t ValueCount[3];   // packed values per channel
  uint8_t ValueBits;        // width of every packed value, 1 to 8
};
#pragma pack(pop)
static_assert(sizeof(ImageHeader) == 34);

// Decodes fileName into pixels: one byte per pixel for 8 bits per pixel, one 32-bit
// word (red << 16 | green << 8 | blue) per pixel for 24. With allocate set the
// buffer is (re)allocated with std::realloc to the picture's size (release it with
// std::free). Missing or short files end the program with the runtime error box, and
// so (as a short read, before anything of the picture's size is allocated) do files
// whose counts their blocks cannot back.
void DecodeImageFile(uint8_t*& pixels, ImageHeader& header, const std::string& fileName,
                     bool allocate);

// The largest side a program without a GL context accepts (the texture bank uses the
// GL's own largest texture size).
constexpr int32_t ToolLargestSide = 16384;

// Reads the header; a picture wider or taller than largestSide is refused before
// anything is decoded (false: header filled, pixels untouched). Otherwise decodes as
// DecodeImageFile with allocate set and returns true.
bool DecodeImageFileWithin(uint8_t*& pixels, ImageHeader& header, const std::string& fileName,
                           int32_t largestSide);

// Encoder operations on planes of doubles (row y, column x at y * stride + x).

// Multi-level forward Haar transform of the top-left w x h region; src may be dst.
void ForwardTransform(const double* src, double* dst, int32_t w, int32_t h, int32_t stride,
                      int32_t fullHeight, int32_t depth);
// Zeroes detail coefficients (outside R(level + 1)) of magnitude <= threshold; returns how many.
int32_t ThresholdDetails(double* plane, double threshold, int32_t width, int32_t height,
                         int32_t level);
// Scales each band to +-(2^valueBits - 1) and rounds half to even; fills table[0 .. depth + 1].
void Quantize(const double* coefficients, int32_t* integers, int32_t width, int32_t height,
              int32_t depth, int32_t valueBits, double* table);
int32_t CountZeros(const int32_t* integers, int32_t width, int32_t height);
// Writes a .tqz file from one (8 bits per pixel) or three (24) quantised planes.
void WriteImageFile(const std::string& fileName, const int32_t* plane1, const int32_t* plane2,
                    const int32_t* plane3, int32_t width, int32_t height, int32_t bitsPerPixel,
                    int32_t depth, const double* table1, const double* table2,
                    const double* table3, int32_t valueBits);

// Convenience for tools: encodes 8-bit pixel rows (channels 1: grey, one channel;
// 3 or 4: red, green, blue (alpha ignored), three channels) as a file with the given depth, value bits and
// detail threshold (0: none). Width and height must be multiples of 2^(depth + 1),
// depth 0 to 16, value bits 1 to 8.
void EncodeImage(const std::string& fileName, const uint8_t* pixels, int32_t width,
                 int32_t height, int32_t channels, int32_t depth, int32_t valueBits,
                 double threshold);
// The same file's bytes, for a caller that writes them itself.
std::vector<uint8_t> EncodeImageBytes(const uint8_t* pixels, int32_t width, int32_t height,
                                      int32_t channels, int32_t depth, int32_t valueBits,
                                      double threshold);

}  // namespace codec
