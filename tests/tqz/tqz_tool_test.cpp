// The tqz command: conversions both ways, the info report, and one-line failures.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "codec_test_util.h"
#include "common/png_io.h"

namespace {

struct ToolRun {
  int Status;
  std::string Output;  // standard output and standard error together
};

// Runs tqz with the arguments; shell is put before it (limits, traps: "ulimit -f 1; ").
ToolRun Tqz(const std::string& arguments, const std::string& shell = "") {
  const std::string command =
      shell + "exec " + std::string(LUMETRA_BUILD_DIR) + "/tqz " + arguments + " 2>&1";
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
  EXPECT_EQ(run.Status, 1);
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

namespace {

namespace fs = std::filesystem;

// A fresh folder of its own for each test that looks at what a folder holds.
fs::path EmptyFolder(const std::string& name) {
  const fs::path dir = codectest::TempPath(name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Q(const fs::path& path) { return "'" + path.string() + "'"; }

}  // namespace

TEST(TqzToolOutput, AFailedWriteLeavesTheTargetAsItWasAndNothingElse) {
  // Writes beyond one block fail (EFBIG; the signal ignored), as on a full disk.
  const fs::path dir = EmptyFolder("failing");
  const fs::path png = WriteTestPng("big.png", 64, 64, 3), tqz = dir / "in.tqz";
  ASSERT_EQ(Tqz("encode " + png.string() + " " + Q(tqz)).Status, 0);
  ASSERT_GT(fs::file_size(tqz), 1024u);
  const std::string limit = "ulimit -f 1; trap '' XFSZ; ";

  const fs::path out = dir / "out.png";
  codectest::WriteBytes(out, {'o', 'l', 'd'});
  ToolRun run = Tqz("decode " + Q(tqz) + " " + Q(out), limit);
  EXPECT_EQ(run.Status, 1) << run.Output;
  EXPECT_EQ(Lines(run.Output), 1) << run.Output;
  EXPECT_EQ(run.Output.rfind("tqz: " + out.string() + ": could not write: ", 0), 0u) << run.Output;
  EXPECT_EQ(codectest::ReadBytes(out), (std::vector<uint8_t>{'o', 'l', 'd'}));

  const fs::path again = dir / "again.tqz";
  run = Tqz("encode " + png.string() + " " + Q(again), limit);
  EXPECT_EQ(run.Status, 1) << run.Output;
  EXPECT_NE(run.Output.find(again.string() + ": could not write: "), std::string::npos) << run.Output;
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"in.tqz", "out.png"}));

  // A link to a device that is always full: the link stays, the device is untouched.
  const fs::path link = dir / "link.png";
  fs::create_symlink("/dev/full", link);
  run = Tqz("decode " + Q(tqz) + " " + Q(link));
  EXPECT_EQ(run.Status, 1) << run.Output;
  EXPECT_NE(run.Output.find(link.string() + ": could not write: No space left on device"),
            std::string::npos)
      << run.Output;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST(TqzToolOutput, ARegularTargetIsReplacedWholeKeepingItsPermissionsAndLinks) {
  const fs::path dir = EmptyFolder("replacing");
  const fs::path png = WriteTestPng("small.png", 16, 16, 3), tqz = dir / "in.tqz";
  ASSERT_EQ(Tqz("encode " + png.string() + " " + Q(tqz)).Status, 0);
  pngio::Image expected, got;
  std::string error;
  ASSERT_EQ(Tqz("decode " + Q(tqz) + " " + Q(dir / "expected.png")).Status, 0);
  ASSERT_TRUE(pngio::ReadPng(dir / "expected.png", expected, error)) << error;

  // An existing file keeps its permissions; a link stays a link to the new picture.
  const fs::path kept = dir / "kept.png", real = dir / "real.png", link = dir / "link.png";
  codectest::WriteBytes(kept, {'x'});
  ASSERT_EQ(chmod(kept.c_str(), 0640), 0);
  codectest::WriteBytes(real, {'y'});
  fs::create_symlink("real.png", link);
  for (const fs::path& target : {kept, link}) {
    ASSERT_EQ(Tqz("decode " + Q(tqz) + " " + Q(target)).Status, 0);
    ASSERT_TRUE(pngio::ReadPng(target, got, error)) << error;
    EXPECT_EQ(got.Pixels, expected.Pixels);
  }
  struct stat info {};
  ASSERT_EQ(stat(kept.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_TRUE(fs::is_symlink(link));
}

TEST(TqzToolInput, AHugeFileIsReadOnlyAsFarAsThePictureGoes) {
  // A picture followed by 64 GiB of nothing (a sparse file): the production's loader
  // reads the picture and ignores the rest; so do decode and info.
  const fs::path dir = EmptyFolder("huge");
  const fs::path tqz = dir / "huge.tqz";
  ASSERT_EQ(Tqz("encode " + WriteTestPng("h.png", 16, 16, 1) + " " + Q(tqz)).Status, 0);
  std::error_code ec;
  fs::resize_file(tqz, uint64_t{64} << 30, ec);
  if (ec) GTEST_SKIP() << "no sparse file of 64 GiB here: " << ec.message();
  ToolRun run = Tqz("decode " + Q(tqz) + " " + Q(dir / "huge.png"));
  EXPECT_EQ(run.Status, 0) << run.Output;
  EXPECT_NE(run.Output.find("bytes after the last block"), std::string::npos) << run.Output;
  run = Tqz("info " + Q(tqz));
  EXPECT_EQ(run.Status, 0) << run.Output;
  EXPECT_NE(run.Output.find("well formed     yes"), std::string::npos) << run.Output;
  fs::remove(tqz);
}

TEST(TqzToolExitCodes, ZeroDoneOneFailureTwoBadArguments) {
  const fs::path dir = EmptyFolder("codes");
  const std::string png = WriteTestPng("c.png", 16, 16, 1);
  const fs::path tqz = dir / "c.tqz";
  ASSERT_EQ(Tqz("encode " + png + " " + Q(tqz)).Status, 0);
  struct Case {
    std::string Arguments;
    int Status;
  };
  const std::vector<Case> cases = {
      {"--version", 0},
      {"info " + Q(dir / "missing.tqz"), 1},
      {"decode " + Q(dir / "missing.tqz") + " " + Q(dir / "m.png"), 1},
      {"encode " + png + " " + Q(dir / "no/such/folder/x.tqz"), 1},
      {"decode " + Q(tqz) + " " + Q(dir), 1},
      {"info", 2},
      {"encode " + png + " " + Q(dir / "x.tqz") + " --depth 99", 2},
      {"frobnicate", 2},
  };
  for (const Case& c : cases) {
    const ToolRun run = Tqz(c.Arguments);
    EXPECT_EQ(run.Status, c.Status) << c.Arguments << "\n" << run.Output;
    EXPECT_EQ(Lines(run.Output), 1) << c.Arguments << "\n" << run.Output;
  }
  EXPECT_EQ(Tqz("--version").Output, "tqz " LUMETRA_VERSION "\n");
  EXPECT_NE(Tqz("--help").Output.find("  2  bad arguments"), std::string::npos);
}
