// lumetra-render as its users run it: arguments, failures, stills at chosen moments.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/test_pictures.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

using namespace rendertest;

TEST(RenderToolArguments, BadArgumentsGiveOneLineAndExitCode2) {
  struct Case {
    std::vector<std::string> Args;
    std::string Says;
  };
  const std::vector<Case> cases = {
      {{}, "nothing to do"},
      {{"--at", "70001", "-o", "x.png"}, "--at 70001"},
      {{"--at", "-5", "-o", "x.png"}, "--at -5"},
      {{"--at", "abc", "-o", "x.png"}, "abc"},
      {{"--at", "100"}, "needs -o"},
      {{"--at", "100", "-o", "x.mp4"}, ".png"},
      {{"-o", "x.png"}, "needs --at"},
      {{"-o", "x.avi"}, ".mp4, .mkv or .mov"},
      {{"-o", "x.mp4", "--size", "641x480"}, "even"},
      {{"--timing", "--size", "640"}, "--size 640"},
      {{"--timing", "--size", "8x8"}, "--size 8x8"},
      {{"-o", "x.mp4", "--from", "2000", "--to", "1000"}, "--from"},
      {{"-o", "x.mp4", "--to", "70015"}, "--to 70015"},
      {{"--timing", "--at", "5"}, "together"},
      {{"--timing", "-o", "x.txt"}, "no -o"},
      {{"--bogus"}, "--bogus"},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& a : c.Args) joined += a + " ";
    SCOPED_TRACE(joined);
    const Result r = RunTool(c.Args);
    EXPECT_EQ(r.Code, 2);
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
    EXPECT_EQ(r.Err.rfind("lumetra-render: ", 0), 0u) << r.Err;
    EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
  }
}

TEST(RenderToolArguments, HelpNamesEveryOptionWithItsDefault) {
  const Result r = RunTool({"--help"});
  EXPECT_EQ(r.Code, 0);
  for (const char* text : {"-o,--output FILE", "--at MS", "--timing", "--size WxH=640x480",
                           "--from MS=0", "--to MS=70000", "--seed N=1", "--tiny WxH=64x48",
                           "--data DIR", "--quiet", "200/3", "ffmpeg"})
    EXPECT_NE(r.Out.find(text), std::string::npos) << text;
}

TEST(RenderToolArguments, VersionIsTheProjectsAndHelpGivesTheExitStatus) {
  Result r = RunTool({"--version"});
  EXPECT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(r.Out, "lumetra-render " LUMETRA_VERSION "\n");
  r = RunTool({"--help"});
  for (const char* text : {"Exit status:\n  0  done\n", "  2  bad arguments", "16 to 8192"})
    EXPECT_NE(r.Out.find(text), std::string::npos) << text;
}

TEST(RenderToolOutput, AFifoIsWrittenInPlaceAndNoOtherFileIsTouched) {
  const testsupport::TempDir dir;
  const std::string fifo = dir.File("fifo.png"), copy = dir.File("copy.png");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // The reader gives up after a while, should the tool never open the FIFO.
  Result r = RunCommand("timeout 30 cat " + Quote(fifo) + " > " + Quote(copy) + " & " +
                        Quote(ToolPath()) + " --at 0 --size 64x48 -q -o " + Quote(fifo) +
                        "; code=$?; wait; exit $code");
  EXPECT_EQ(r.Code, 0) << r.Err;
  EXPECT_TRUE(fs::is_fifo(fifo));
  pngio::Image image;
  std::string error;
  ASSERT_TRUE(pngio::ReadPng(copy, image, error)) << error;
  EXPECT_EQ(image.Width, 64);

  // A file beside the output is someone else's, whatever its name.
  const std::string frame = dir.File("frame.png"), part = dir.File("frame.png.part");
  std::ofstream(part) << "mine";
  r = RunTool({"--at", "0", "--size", "64x48", "-q", "-o", frame});
  EXPECT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(ReadText(part), "mine");
  EXPECT_TRUE(pngio::ReadPng(frame, image, error)) << error;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 4);
}

TEST(RenderToolFailures, AMissingPictureIsNamedBeforeAnythingRuns) {
  const testsupport::TempDir empty;
  const std::string png = empty.File("frame.png");
  const Result r = RunTool({"--data", empty.Path(), "--at", "0", "-o", png});
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Err.find("data/intro1.tqz: No such file or directory"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(png));
}

TEST(RenderToolFailures, ABrokenPictureEndsTheRunWithAFailure) {
  // A short file: one line naming it and the problem (not the runtime error box);
  // "Could not load Texture" for a picture of height 0, which would end the process
  // with code 0. Both are failures.
  const testsupport::TempDir dir;
  fs::create_directories(dir.File("data"));
  for (const auto& entry : fs::directory_iterator(std::string(LUMETRA_BUILD_DIR) + "/data"))
    fs::copy_file(entry.path(), dir.File("data/" + entry.path().filename().string()));
  const std::string picture = dir.File("data/flare.tqz");
  const std::string png = dir.File("frame.png");
  fs::resize_file(picture, 40);
  Result r = RunTool({"--data", dir.Path(), "--at", "0", "-o", png});
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(r.Err, "lumetra-render: " + picture + ": unexpected end of file (truncated or damaged)\n");

  fs::copy_file(std::string(LUMETRA_BUILD_DIR) + "/data/flare.tqz", picture,
                fs::copy_options::overwrite_existing);
  {
    std::fstream file(picture, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(5);  // the 16-bit height
    file.write("\0\0", 2);
  }
  r = RunTool({"--data", dir.Path(), "--at", "0", "-o", png});
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Err.find("Could not load Texture"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(png));
}

TEST(RenderToolFailures, MissingFfmpegAndUnwritableOutputAreReported) {
  const testsupport::TempDir dir;
  const std::string out = dir.Path();
  Result r = RunTool({"-o", out + "/clip.mp4"}, "PATH=" + Quote(out));
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Err.find("ffmpeg not found"), std::string::npos) << r.Err;

  r = RunTool({"--at", "0", "-o", out + "/no/such/folder/frame.png"});
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Err.find("does not exist"), std::string::npos) << r.Err;
}

TEST(RenderToolStills, TheSameSeedGivesTheSameFrameAndAnotherSeedAnother) {
  const pngio::Image first = RenderAt(20000, "160x120", 7);
  const pngio::Image again = RenderAt(20000, "160x120", 7);
  ASSERT_EQ(first.Width, 160);
  ASSERT_EQ(first.Height, 120);
  ASSERT_EQ(first.Channels, 3);
  EXPECT_TRUE(first.Pixels == again.Pixels);
  // The star stream's particles come from the random generator.
  EXPECT_FALSE(first.Pixels == RenderAt(20000, "160x120", 8).Pixels);
}

TEST(RenderToolStills, AMomentShowsTheFrameOfTheLastMultipleOf15) {
  // 21000 is the star stream's last frame; the flash window opens at 21001, and its
  // first frame is the one at 21015, drawn with the counter at 0: all white.
  const pngio::Image before = RenderAt(21000);
  EXPECT_TRUE(RenderAt(21014).Pixels == before.Pixels);
  EXPECT_FALSE(AllWhite(before));
  EXPECT_TRUE(AllWhite(RenderAt(21015)));
  EXPECT_TRUE(AllWhite(RenderAt(21029)));
}

TEST(RenderToolTimeline, EveryFlashStartsWithAWhiteFrame) {
  // The first frame in each flash window (the first multiple of 15 above its start).
  for (int first : {21015, 28005, 35010, 42015, 49005}) {
    SCOPED_TRACE(first);
    EXPECT_TRUE(AllWhite(RenderAt(first)));
  }
}

TEST(RenderToolTimeline, TheFadeIsWhiteAtCounter45) {
  // FadeToWhite's first frame is at 13035 with the counter at 0; counter 45 (alpha 1.5)
  // is 45 frames later.
  EXPECT_TRUE(AllWhite(RenderAt(13035 + 45 * 15)));
  EXPECT_FALSE(AllWhite(RenderAt(13020)));
}

}  // namespace
