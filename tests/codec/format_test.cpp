// The tqz byte layout: stream packing, run coding and the files the writer produces.
#include <gtest/gtest.h>

#include <cstring>

#include "codec_test_util.h"

using namespace codec;
using codectest::ReadBytes;
using codectest::TempPath;

namespace {

struct Runs {
  std::vector<uint8_t> Symbols, Values;
};

Runs Encode(const std::vector<int32_t>& plane, int32_t width, int32_t height, int32_t bits) {
  Runs runs;
  runs.Symbols.resize(plane.size());
  runs.Values.resize(plane.size());
  uint32_t n = 0, m = 0;
  EncodeRuns(plane.data(), width, height, bits, runs.Symbols.data(), runs.Values.data(), n, m);
  runs.Symbols.resize(n);
  runs.Values.resize(m);
  return runs;
}

using Bytes = std::vector<uint8_t>;

}  // namespace

TEST(StreamPacking, SymbolsGoFourToAByteLowestBitsFirst) {
  const uint8_t symbols[] = {2, 3, 1, 0, 3};
  EXPECT_EQ(PackSymbols(symbols, 5), (Bytes{0x1E, 0x03}));
  EXPECT_EQ(PackSymbols(symbols, 4), (Bytes{0x1E}));
  uint8_t back[5];
  const Bytes block{0x1E, 0x03};
  UnpackSymbols(block.data(), 5, back);
  EXPECT_EQ(Bytes(back, back + 5), Bytes(symbols, symbols + 5));
}

TEST(StreamPacking, ValuesFormOneLeastSignificantBitFirstStream) {
  const uint8_t values[] = {1, 2, 3, 4};
  const Bytes block = PackValues(values, 4, 3);
  EXPECT_EQ(block, (Bytes{0xD1, 0x08}));  // the third value straddles both bytes
  uint8_t back[4];
  UnpackValues(block.data(), block.size(), 4, 3, back);
  EXPECT_EQ(Bytes(back, back + 4), Bytes(values, values + 4));

  const uint8_t bytes[] = {0, 255, 17};
  EXPECT_EQ(PackValues(bytes, 3, 8), (Bytes{0, 255, 17}));
  EXPECT_EQ(ValueBlockSize(3, 8), 3u);
  EXPECT_EQ(ValueBlockSize(5, 3), 2u);
  EXPECT_EQ(ValueBlockSize(8, 3), 3u);  // 24 bits: no partial byte
}

TEST(StreamPacking, EveryBitWidthRoundTrips) {
  for (int32_t bits = 1; bits <= 8; ++bits) {
    Bytes values(37);
    for (size_t j = 0; j < values.size(); ++j) values[j] = uint8_t((j * 73 + 5) & ((1 << bits) - 1));
    const Bytes block = PackValues(values.data(), 37, bits);
    ASSERT_EQ(block.size(), (37u * bits + 7) / 8);
    Bytes back(37);
    UnpackValues(block.data(), block.size(), 37, bits, back.data());
    EXPECT_EQ(back, values) << bits << " bits";
  }
}

TEST(RunCoding, AllZeroPlaneIsOneRunAndTheLastPosition) {
  const Runs runs = Encode(std::vector<int32_t>(16, 0), 4, 4, 8);
  EXPECT_EQ(runs.Symbols, (Bytes{ZeroRun, Zero}));
  EXPECT_EQ(runs.Values, (Bytes{14}));
  EXPECT_EQ(PackSymbols(runs.Symbols.data(), 2), (Bytes{0x01}));
}

TEST(RunCoding, RunsStartAboveHalfTheValueBits) {
  // B = 5: ceil(5 / 2) = 3. A zero followed by 3 zeros stays single symbols.
  std::vector<int32_t> plane{0, 0, 0, 0, 7, 1};
  EXPECT_EQ(Encode(plane, 6, 1, 5).Symbols, (Bytes{Zero, Zero, Zero, Zero, Positive, Positive}));
  plane = {0, 0, 0, 0, 0, -7, 1};
  const Runs runs = Encode(plane, 7, 1, 5);
  EXPECT_EQ(runs.Symbols, (Bytes{ZeroRun, Negative, Positive}));
  EXPECT_EQ(runs.Values, (Bytes{4, 7, 1}));
}

TEST(RunCoding, LongStretchesSplitIntoRunsOfTwoToTheB) {
  // B = 3: at most 7 further zeros, so 8 zeros per run.
  std::vector<int32_t> plane(20, 0);
  plane.back() = 5;
  const Runs runs = Encode(plane, 20, 1, 3);
  // 19 zeros: 8 + 8, then 3 left: a zero followed by 2 (= ceil(3/2) + 0) stays plain.
  EXPECT_EQ(runs.Symbols, (Bytes{ZeroRun, ZeroRun, Zero, Zero, Zero, Positive}));
  EXPECT_EQ(runs.Values, (Bytes{7, 7, 5}));
}

TEST(RunCoding, OneBitValuesNeverUseRuns) {
  const Runs runs = Encode(std::vector<int32_t>{0, 0, 0, 0, 1, -1, 0, 0}, 8, 1, 1);
  EXPECT_EQ(runs.Symbols, (Bytes{Zero, Zero, Zero, Zero, Positive, Negative, Zero, Zero}));
  EXPECT_EQ(runs.Values, (Bytes{1, 1}));
}

TEST(RunCoding, ExpandingTheCodedStreamGivesThePlaneBack) {
  std::vector<int32_t> plane(64 * 8, 0);
  for (size_t p = 0; p < plane.size(); ++p)
    if (p % 37 == 3 || p % 11 == 0) plane[p] = int32_t(p % 255) - 127;
  plane.back() = 0;
  for (int32_t bits : {2, 4, 8}) {
    std::vector<int32_t> clipped = plane;
    const int32_t top = (1 << bits) - 1;
    for (int32_t& q : clipped) q = std::max(-top, std::min(top, q));
    const Runs runs = Encode(clipped, 64, 8, bits);
    std::vector<int32_t> back(plane.size(), 99);
    ExpandSymbols(back.data(), runs.Symbols.data(), uint32_t(runs.Symbols.size()),
                  runs.Values.data(), uint32_t(runs.Values.size()), 64, 8);
    EXPECT_EQ(back, clipped) << bits << " bits";
  }
}

TEST(ImageFile, OneChannelFileIsHeaderTableSymbolsValues) {
  const std::vector<int32_t> plane{5, 0, 0, -3};
  const double table[2] = {1.5, 0.25};
  const std::string path = TempPath("one.tqz");
  WriteImageFile(path, plane.data(), nullptr, nullptr, 2, 2, 8, 0, table, nullptr, nullptr, 8);
  const Bytes file = ReadBytes(path);
  ASSERT_EQ(file.size(), 34u + 16 + 1 + 2);
  ImageHeader header;
  std::memcpy(&header, file.data(), 34);
  EXPECT_EQ(std::string(header.Magic, 3), "TQZ");
  // Copies: a field of the packed header may sit at a misaligned address.
  EXPECT_EQ(int{header.Width}, 2);
  EXPECT_EQ(int{header.Height}, 2);
  EXPECT_EQ(header.BitsPerPixel, 8);
  EXPECT_EQ(header.Depth, 0);
  EXPECT_EQ(uint32_t{header.SymbolCount[0]}, 4u);
  EXPECT_EQ(uint32_t{header.ValueCount[0]}, 2u);
  EXPECT_EQ(header.ValueBits, 8);
  double stored[2];
  std::memcpy(stored, file.data() + 34, 16);
  EXPECT_EQ(stored[0], 1.5);
  EXPECT_EQ(stored[1], 0.25);
  EXPECT_EQ(file[50], 0xC2);  // Positive, Zero, Zero, Negative
  EXPECT_EQ(file[51], 5);
  EXPECT_EQ(file[52], 3);
}

TEST(ImageFile, ThreeChannelHeaderEndsUpWithAllSixCounts) {
  const std::vector<int32_t> red(16, 0), green{1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4},
      blue(16, -1);
  const double table[3] = {1, 2, 3};
  const std::string path = TempPath("three.tqz");
  WriteImageFile(path, red.data(), green.data(), blue.data(), 4, 4, 24, 1, table, table, table, 4);
  const Bytes file = ReadBytes(path);
  ImageHeader header;
  std::memcpy(&header, file.data(), 34);
  // Copies: a field of the packed header may sit at a misaligned address.
  EXPECT_EQ(uint32_t{header.SymbolCount[0]}, 2u);   // a run of 15 zeros, then the last one
  EXPECT_EQ(uint32_t{header.ValueCount[0]}, 1u);
  EXPECT_EQ(uint32_t{header.SymbolCount[1]}, 5u);   // 1, 2, 3, run of 11, 4
  EXPECT_EQ(uint32_t{header.ValueCount[1]}, 5u);
  EXPECT_EQ(uint32_t{header.SymbolCount[2]}, 16u);
  EXPECT_EQ(uint32_t{header.ValueCount[2]}, 16u);
  EXPECT_EQ(file.size(), DeclaredFileSize(header));
  EXPECT_EQ(file.size(), 34u + 3 * 24 + (1 + 1) + (2 + 3) + (4 + 8));
}

TEST(ImageFile, UnknownBitsPerPixelLeavesAnEmptyFile) {
  const std::vector<int32_t> plane(4, 1);
  const double table[2] = {1, 1};
  const std::string path = TempPath("empty.tqz");
  WriteImageFile(path, plane.data(), nullptr, nullptr, 2, 2, 16, 0, table, nullptr, nullptr, 8);
  EXPECT_TRUE(ReadBytes(path).empty());
}
