// Writes small well-formed .tqz files as the fuzzer's starting corpus.
#include <cstdint>
#include <string>
#include <vector>

#include "codec/codec.h"

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  struct Seed {
    int32_t width, height, channels, depth, bits;
  };
  const Seed seeds[] = {{8, 8, 1, 0, 8}, {16, 16, 3, 1, 8}, {32, 16, 1, 2, 3},
                        {16, 8, 3, 2, 1}, {4, 4, 1, 1, 5},  {24, 24, 3, 2, 6}};
  int index = 0;
  for (const Seed& s : seeds) {
    ++index;
    std::vector<uint8_t> rows(size_t(s.width) * s.height * s.channels);
    for (size_t p = 0; p < rows.size(); ++p)
      rows[p] = uint8_t((p % 7 == 0) ? 200 : (p / 13) * 3);
    codec::EncodeImage(dir + "/seed" + std::to_string(index) + ".tqz", rows.data(), s.width,
                       s.height, s.channels, s.depth, s.bits, index % 2 ? 0.0 : 3.0);
  }
  return 0;
}
