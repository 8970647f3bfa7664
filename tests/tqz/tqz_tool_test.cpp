// The tqz command: conversions both ways, the info report, and one-line failures.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "codec_test_util.h"
#include "common/png_io.h"

namespace {

struct ToolRun {
  int Status;
  std::string Output;  // standard output and standard error together
};

ToolRun Tqz(const std::string& arguments) {
  const std::string command = std::string(LUMETRA_BUILD_DIR) + "/tqz " + arguments + " 2>&1";
  ToolRun run{-1, ""};
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.Output.append(buffer.data(), n);
  const int status = pclose(pipe);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

int Lines(const std::string& text) { return int(std::count(text.begin(), text.end(), '\n')); }

std::string WriteTestPng(const std::string& name, int width, int height, int channels) {
  const std::string path = codectest::TempPath(name);
  const auto rows = codectest::TestPicture(width, height, channels);
  std::string error;
  EXPECT_TRUE(pngio::WritePng(path, width, height, channels, rows.data(), false, error)) << error;
  return path;
}

}  // namespace

TEST(TqzTool, EncodeThenDecodeGivesThePictureBack) {
  for (int channels : {1, 3}) {
    const std::string png = WriteTestPng("in.png", 64, 32, channels);
    const std::string tqz = codectest::TempPath("pic.tqz"), out = codectest::TempPath("out.png");
    const ToolRun encoded = Tqz(png + " " + tqz);  // no command: usage error
    EXPECT_EQ(encoded.Status, 2);
    ToolRun run = Tqz("encode " + png + " " + tqz);
    ASSERT_EQ(run.Status, 0) << run.Output;
    EXPECT_NE(run.Output.find("PSNR"), std::string::npos);
    run = Tqz("decode " + tqz + " " + out);
    ASSERT_EQ(run.Status, 0) << run.Output;
    pngio::Image original, back;
    std::string error;
    ASSERT_TRUE(pngio::ReadPng(png, original, error));
    ASSERT_TRUE(pngio::ReadPng(out, back, error));
    EXPECT_EQ(back.Channels, channels);
    EXPECT_GE(codectest::Psnr(original.Pixels, back.Pixels), 40);
  }
}

TEST(TqzTool, GreyOptionAndDepthBitsThresholdReachTheFile) {
  const std::string png = WriteTestPng("rgb.png", 64, 64, 3);
  const std::string tqz = codectest::TempPath("grey.tqz");
  ASSERT_EQ(Tqz("encode " + png + " " + tqz + " --grey --depth 2 --bits 5 --threshold 3").Status, 0);
  const auto bytes = codectest::ReadBytes(tqz);
  codec::ImageHeader header;
  std::memcpy(&header, bytes.data(), 34);
  EXPECT_EQ(header.BitsPerPixel, 8);
  EXPECT_EQ(header.Depth, 2);
  EXPECT_EQ(header.ValueBits, 5);
  const ToolRun info = Tqz("info " + tqz);
  EXPECT_EQ(info.Status, 0);
  EXPECT_NE(info.Output.find("well formed     yes"), std::string::npos) << info.Output;
  EXPECT_NE(info.Output.find("bits per pixel  8"), std::string::npos);
}

TEST(TqzTool, BadInputsGetOneLineNamingTheFile) {
  const std::string png = WriteTestPng("odd.png", 30, 30, 3);
  const std::string tqz = codectest::TempPath("odd.tqz");
  ToolRun run = Tqz("encode " + png + " " + tqz + " --depth 1");  // 30 is not a multiple of 4
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(Lines(run.Output), 1);
  EXPECT_NE(run.Output.find(png), std::string::npos);

  run = Tqz("decode /nonexistent/a.tqz " + codectest::TempPath("a.png"));
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Output, "tqz: /nonexistent/a.tqz: file not found\n");

  const std::string good = codectest::TempPath("good.tqz");
  ASSERT_EQ(Tqz("encode " + WriteTestPng("g.png", 16, 16, 1) + " " + good).Status, 0);
  auto bytes = codectest::ReadBytes(good);
  bytes.resize(bytes.size() - 3);
  const std::string cut = codectest::TempPath("cut.tqz");
  codectest::WriteBytes(cut, bytes);
  run = Tqz("decode " + cut + " " + codectest::TempPath("cut.png"));
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(Lines(run.Output), 1);
  EXPECT_NE(run.Output.find("truncated"), std::string::npos) << run.Output;
  EXPECT_EQ(Tqz("info " + cut).Status, 1);

  EXPECT_EQ(Tqz("encode " + png + " " + tqz + " --bits 0").Status, 2);
  EXPECT_EQ(Tqz("encode " + png).Status, 2);
  const ToolRun help = Tqz("--help");
  EXPECT_EQ(help.Status, 0);
  for (const char* option : {"--depth", "--bits", "--threshold", "--grey", "Default"})
    EXPECT_NE(help.Output.find(option), std::string::npos) << option;
}

TEST(TqzTool, DecodeShowsWhatTheProductionShowsAndRefusesWhatItRefuses) {
  const std::string good = codectest::TempPath("base.tqz");
  ASSERT_EQ(Tqz("encode " + WriteTestPng("b.png", 16, 16, 1) + " " + good).Status, 0);
  const auto original = codectest::ReadBytes(good);
  codec::ImageHeader header;
  std::memcpy(&header, original.data(), sizeof header);

  // Rules the decoder does not depend on: a wrong magic, an infinite scale entry,
  // channel 2 and 3 counts in a grey file, one value more than the symbols take,
  // and bytes after the last block. Each is a warning; the pixels are the decoder's.
  auto bytes = original;
  std::memcpy(bytes.data(), "XYZ", 3);
  const double infinite = INFINITY;
  std::memcpy(bytes.data() + 34 + 8, &infinite, 8);
  bytes[13] = 7;
  bytes[29] = 9;
  ++header.ValueCount[0];
  std::memcpy(bytes.data() + 21, &header.ValueCount[0], 4);
  bytes.push_back(5);
  bytes.insert(bytes.end(), 10, 0xEE);
  const std::string odd = codectest::TempPath("odd.tqz"), png = codectest::TempPath("odd.png");
  codectest::WriteBytes(odd, bytes);
  ToolRun run = Tqz("decode " + odd + " " + png);
  EXPECT_EQ(run.Status, 0) << run.Output;
  for (const char* warning : {"TQZ", "scale table entry 1", "values are stored", "after the last"})
    EXPECT_NE(run.Output.find(warning), std::string::npos) << warning;
  EXPECT_EQ(Lines(run.Output), 4) << run.Output;
  pngio::Image decoded;
  std::string error;
  ASSERT_TRUE(pngio::ReadPng(png, decoded, error)) << error;
  EXPECT_EQ(decoded.Pixels, codectest::DecodeToRows(odd, header));
  EXPECT_EQ(Tqz("info " + odd).Status, 1);

  // What the production refuses, with its reason: counts the blocks cannot back
  // (the same short read as a truncated file) and a side above 16384 (the box).
  run = Tqz("decode " LUMETRA_SOURCE_DIR "/tests/codec/data/wrapped-values-4096.tqz " + png);
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(Lines(run.Output), 1);
  EXPECT_NE(run.Output.find("unexpected end of file"), std::string::npos) << run.Output;
  bytes = original;
  const uint16_t wide = 16386;
  std::memcpy(bytes.data() + 3, &wide, 2);
  codectest::WriteBytes(odd, bytes);
  run = Tqz("decode " + odd + " " + png);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Output.find("Could not load Texture"), std::string::npos) << run.Output;
}
