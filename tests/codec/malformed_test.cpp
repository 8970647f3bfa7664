// Malformed files: every one ends in a runtime error or a picture, never outside a
// buffer. Fuzzer-made files that break each size rule are kept in tests/codec/data/,
// as is every input that ever crashed the decoder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "codec_test_util.h"

using namespace codec;
using codectest::FailureCatcher;
using codectest::FileFailure;
using codectest::TempPath;

namespace {

// Decodes path; returns the runtime error number, or 0 after a picture.
int32_t DecodeResult(const std::string& path, ImageHeader& header) {
  uint8_t* pixels = nullptr;
  int32_t code = 0;
  try {
    DecodeImageFile(pixels, header, path, true);
  } catch (const FileFailure& failure) {
    code = failure.Code;
  }
  std::free(pixels);
  return code;
}

int32_t DecodeBytes(const std::vector<uint8_t>& bytes) {
  const std::string path = TempPath("malformed.tqz");
  codectest::WriteBytes(path, bytes);
  ImageHeader header;
  return DecodeResult(path, header);
}

std::vector<uint8_t> Header(uint16_t width, uint16_t height, uint8_t bpp, uint8_t depth,
                            uint32_t symbols, uint32_t values, uint8_t bits) {
  ImageHeader h{};
  std::memcpy(h.Magic, "TQZ", 3);
  h.Width = width;
  h.Height = height;
  h.BitsPerPixel = bpp;
  h.Depth = depth;
  for (int c = 0; c < 3; ++c) {
    h.SymbolCount[c] = symbols;
    h.ValueCount[c] = values;
  }
  h.ValueBits = bits;
  std::vector<uint8_t> bytes(34);
  std::memcpy(bytes.data(), &h, 34);
  return bytes;
}

std::vector<uint8_t> EncodedPicture(int32_t channels, int32_t size = 32) {
  const auto rows = codectest::TestPicture(size, size, channels);
  const std::string path = TempPath("source.tqz");
  EncodeImage(path, rows.data(), size, size, channels, 2, 8, 2);
  return codectest::ReadBytes(path);
}

}  // namespace

TEST(MalformedFile, MissingFileIsError2) {
  FailureCatcher catcher;
  ImageHeader header;
  EXPECT_EQ(DecodeResult("/nonexistent/x.tqz", header), 2);
}

TEST(MalformedFile, EveryTruncationIsAShortRead) {
  FailureCatcher catcher;
  for (int32_t channels : {1, 3}) {
    const auto whole = EncodedPicture(channels, 16);
    EXPECT_EQ(DecodeBytes(whole), 0);
    for (size_t length = 0; length < whole.size(); ++length)
      ASSERT_EQ(DecodeBytes({whole.begin(), whole.begin() + length}), 100) << length;
  }
}

TEST(MalformedFile, HugeSizesInATinyFileAreAShortReadBeforeAnyAllocation) {
  FailureCatcher catcher;
  // 65535 x 65535 RGB would need over 100 GB of working memory.
  auto bytes = Header(65535, 65535, 24, 0, 4, 0, 8);
  bytes.resize(34 + 3 * 16 + 3, 0);
  EXPECT_EQ(DecodeBytes(bytes), 100);
  // Counts whose blocks would be gigabytes long.
  bytes = Header(64, 64, 8, 0, 0xFFFFFFFF, 0xFFFFFFFF, 8);
  bytes.resize(40, 0);
  EXPECT_EQ(DecodeBytes(bytes), 100);
}

TEST(MalformedFile, CountsTheBlocksCannotBackAreAShortRead) {
  FailureCatcher catcher;
  // 16 positions; 3 symbols with 1-bit values reach at most 3 + 3 * 1.
  auto bytes = Header(4, 4, 8, 0, 3, 3, 1);
  bytes.resize(34 + 16 + 1 + 1, 0);
  EXPECT_EQ(DecodeBytes(bytes), 100);
  // Complete files of ZeroRun symbols whose value count 2^29 times 8 bits wraps to
  // an empty value block: no run has a value, so 4096 x 4096 and 16384 x 16384
  // cannot be filled (made by make_count_files.py).
  const std::string data = LUMETRA_SOURCE_DIR "/tests/codec/data/";
  for (const char* name : {"wrapped-values-4096.tqz", "wrapped-values-16384.tqz"}) {
    ImageHeader header;
    EXPECT_EQ(DecodeResult(data + name, header), 100) << name;
  }
  // A run with its stored value fills 255 positions, the Zero the last one.
  bytes = Header(16, 16, 8, 0, 2, 1, 8);
  bytes.resize(34 + 16, 0);
  bytes.push_back(0x01);  // ZeroRun, Zero
  bytes.push_back(254);
  EXPECT_EQ(DecodeBytes(bytes), 0);
  bytes[21] = 0;  // no value counted: the run cannot be one
  EXPECT_EQ(DecodeBytes(bytes), 100);
}

TEST(MalformedFile, OutOfRangeHeaderFieldsStillDecodeSafely) {
  FailureCatcher catcher;
  const auto good = EncodedPicture(3);
  auto patched = [&](size_t offset, uint8_t value) {
    auto bytes = good;
    bytes[offset] = value;
    return bytes;
  };
  // Value bits 0 (every value reads 0) and above 8 (fields wider than a byte).
  EXPECT_EQ(DecodeBytes(patched(33, 0)), 0);
  EXPECT_EQ(DecodeBytes(patched(33, 9)), 100);  // the wider blocks pass the file's end
  auto wide = patched(33, 200);
  wide.resize(wide.size() + 200000, 0x5A);
  EXPECT_EQ(DecodeBytes(wide), 0);
  // Depth far above 16: the longer tables are read and the extra levels are empty.
  auto deep = patched(8, 40);
  deep.insert(deep.begin() + 34, 3 * 38 * 8, 0);
  EXPECT_EQ(DecodeBytes(deep), 0);
  // Sizes that are not multiples of 2^(Depth + 1), including odd ones.
  for (auto [w, h] : {std::pair{31, 32}, {32, 5}, {1, 1}, {3, 1023}}) {
    auto bytes = good;
    bytes[3] = uint8_t(w);
    bytes[4] = uint8_t(w >> 8);
    bytes[5] = uint8_t(h);
    bytes[6] = uint8_t(h >> 8);
    const int32_t code = DecodeBytes(bytes);
    EXPECT_TRUE(code == 0 || code == 100) << w << "x" << h << " gave " << code;
  }
}

TEST(MalformedFile, ExtraSymbolsAndRunsPastTheEndStayInsideThePlane) {
  FailureCatcher catcher;
  // 2 x 2 grey, depth 0: a run of 200 zeros, then 7 more positive symbols.
  auto bytes = Header(2, 2, 8, 0, 8, 8, 8);
  const double table[2] = {1, 1};
  bytes.resize(34 + 16);
  std::memcpy(bytes.data() + 34, table, 16);
  bytes.push_back(0xA9);  // ZeroRun, Positive, Positive, Positive
  bytes.push_back(0xAA);
  for (int v : {200, 1, 2, 3, 4, 5, 6, 7}) bytes.push_back(uint8_t(v));
  const std::string path = TempPath("extra.tqz");
  codectest::WriteBytes(path, bytes);
  ImageHeader header;
  EXPECT_EQ(codectest::DecodeToRows(path, header), std::vector<uint8_t>(4, 0));
}

TEST(MalformedFile, MagicIsNotCheckedAndTrailingBytesAreIgnored) {
  FailureCatcher catcher;
  auto bytes = EncodedPicture(1);
  const std::string path = TempPath("plain.tqz");
  codectest::WriteBytes(path, bytes);
  ImageHeader header;
  const auto reference = codectest::DecodeToRows(path, header);
  std::memcpy(bytes.data(), "PNG", 3);
  bytes.insert(bytes.end(), 1000, 0xFF);
  codectest::WriteBytes(path, bytes);
  EXPECT_EQ(codectest::DecodeToRows(path, header), reference);
}

TEST(MalformedFile, SavedFuzzerInputsDecodeAndDecodeAlike) {
  FailureCatcher catcher;
  const std::filesystem::path dir = LUMETRA_SOURCE_DIR "/tests/codec/data";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    ++files;
    ImageHeader header;
    const int32_t code = DecodeResult(entry.path().string(), header);
    EXPECT_TRUE(code == 0 || code == 100) << entry.path() << " gave " << code;
    if (code == 0 && header.Width && header.Height && header.BitsPerPixel == 8) {
      // Nothing uninitialised reaches the pixels: two decodes agree.
      EXPECT_EQ(codectest::DecodeToRows(entry.path().string(), header),
                codectest::DecodeToRows(entry.path().string(), header));
    }
  }
  EXPECT_GE(files, 6);
}
