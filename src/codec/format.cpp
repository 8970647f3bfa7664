// The tqz byte layout: block sizes, stream packing and the size checks that keep a
// reader inside what a file can hold.
#include <algorithm>

#include "codec/codec_internal.h"

namespace codec {

int32_t ChannelCount(uint8_t bitsPerPixel) {
  return bitsPerPixel == 8 ? 1 : bitsPerPixel == 24 ? 3 : 0;
}

uint64_t SymbolBlockSize(uint32_t symbolCount) { return (uint64_t{symbolCount} + 3) / 4; }

uint64_t ValueBlockSize(uint32_t valueCount, uint8_t valueBits) {
  const uint32_t bits = valueCount * uint32_t{valueBits};  // wraps, as the layout says
  return (uint64_t{bits} + 7) / 8;
}

uint64_t DeclaredFileSize(const ImageHeader& header) {
  const int32_t channels = ChannelCount(header.BitsPerPixel);
  uint64_t size = sizeof(ImageHeader);
  size += uint64_t(channels) * (uint64_t{header.Depth} + 2) * 8;
  for (int32_t c = 0; c < channels; ++c)
    size += SymbolBlockSize(header.SymbolCount[c]) +
            ValueBlockSize(header.ValueCount[c], header.ValueBits);
  return size;
}

uint64_t StoredValueCount(uint32_t valueCount, uint8_t valueBits) {
  if (valueBits == 0) return valueCount;  // values of no bits need no room
  return std::min<uint64_t>(valueCount, ValueBlockSize(valueCount, valueBits) * 8 / valueBits);
}

bool CountsAreBacked(const ImageHeader& header, int32_t channel) {
  const uint32_t values = header.ValueCount[channel];
  // A value count whose block size wrapped: the block holds fewer values than counted.
  if (StoredValueCount(values, header.ValueBits) < values) return false;
  // Each symbol gives one coefficient; a run with the largest value a byte can hold
  // gives 255 more, and only symbols that have a stored value can be runs.
  const uint64_t n = header.SymbolCount[channel];
  const uint64_t runs = std::min<uint64_t>(n, values);
  const uint64_t longestExtra =
      header.ValueBits >= 8 ? 255 : (uint64_t{1} << header.ValueBits) - 1;
  return n + runs * longestExtra >= uint64_t{header.Width} * header.Height;
}

std::vector<uint8_t> PackSymbols(const uint8_t* symbols, uint32_t count) {
  std::vector<uint8_t> block(SymbolBlockSize(count), 0);
  for (uint32_t j = 0; j < count; ++j)
    block[j / 4] |= static_cast<uint8_t>((symbols[j] & 3) << (2 * (j % 4)));
  return block;
}

std::vector<uint8_t> PackValues(const uint8_t* values, uint32_t count, int32_t valueBits) {
  std::vector<uint8_t> block(ValueBlockSize(count, static_cast<uint8_t>(valueBits)), 0);
  uint64_t bit = 0;
  for (uint32_t j = 0; j < count; ++j) {
    for (int32_t b = 0; b < valueBits; ++b, ++bit) {
      if (bit / 8 >= block.size()) return block;
      if (b < 8 && (values[j] >> b) & 1) block[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
    }
  }
  return block;
}

void UnpackSymbols(const uint8_t* block, uint32_t count, uint8_t* symbols) {
  for (uint32_t j = 0; j < count; ++j) symbols[j] = (block[j / 4] >> (2 * (j % 4))) & 3;
}

void UnpackValues(const uint8_t* block, uint64_t blockSize, uint32_t count, int32_t valueBits,
                  uint8_t* values) {
  // Values are held in bytes: of a field wider than 8 bits only the low 8 count.
  const int32_t kept = std::min(valueBits, 8);
  const uint64_t totalBits = blockSize * 8;
  if (kept <= 0) {
    std::fill(values, values + count, 0);
    return;
  }
  if (valueBits == 8) {
    const uint32_t whole = static_cast<uint32_t>(std::min<uint64_t>(count, blockSize));
    std::copy(block, block + whole, values);
    std::fill(values + whole, values + count, 0);
    return;
  }
  uint64_t start = 0;
  for (uint32_t j = 0; j < count; ++j, start += static_cast<uint64_t>(valueBits)) {
    uint32_t v = 0;
    if (start + kept <= totalBits) {
      // Up to 8 bits starting anywhere in a byte lie within two bytes.
      const uint64_t byte = start / 8;
      uint32_t window = block[byte];
      if (byte + 1 < blockSize) window |= uint32_t{block[byte + 1]} << 8;
      v = (window >> (start % 8)) & ((1u << kept) - 1);
    } else {
      // A block cut short by the 32-bit size product: missing bits read as 0.
      for (int32_t b = 0; b < kept; ++b)
        if (start + b < totalBits && (block[(start + b) / 8] >> ((start + b) % 8)) & 1)
          v |= 1u << b;
    }
    values[j] = static_cast<uint8_t>(v);
  }
}

}  // namespace codec
