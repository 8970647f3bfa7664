// Corvane image codec: the .tqz file format (multi-level Haar wavelet, per-band
// quantisation, 2-bit symbol stream and packed value stream), its decoder and encoder.
#pragma once

#include <cstdint>
#include <string>

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
// std::free). Missing or short files end the program with the runtime error box.
void DecodeImageFile(uint8_t*& pixels, ImageHeader& header, const std::string& fileName,
                     bool allocate);

}  // namespace codec
