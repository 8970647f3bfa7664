// Recorded video: frame rate, frame count, duration, a sound track in step with the
// picture, and no file left behind when ffmpeg fails.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/test_pictures.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

using namespace rendertest;

std::string Probe(const std::string& file, const std::string& stream, const std::string& entries) {
  const Result r = RunCommand("ffprobe -v error -count_frames -select_streams " + stream +
                              " -show_entries stream=" + entries +
                              " -of default=noprint_wrappers=1 " + Quote(file));
  EXPECT_EQ(r.Code, 0) << r.Err;
  return r.Out;
}

double Field(const std::string& text, const std::string& name) {
  const size_t at = text.find(name + "=");
  if (at == std::string::npos) return -1.0;
  return std::atof(text.c_str() + at + name.size() + 1);
}

TEST(RenderToolVideo, AClipHasTheFrameRateFrameCountDurationAndSound) {
  const testsupport::TempDir dir;
  const std::string clip = dir.File("clip.mp4");
  // 1000 ms is on screen in the frame of 990; 2000 in that of 1995: 68 frames, 1.02 s.
  const Result r =
      RunTool({"--from", "1000", "--to", "2000", "--size", "64x48", "-q", "-o", clip});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Out.find("68 frames at 64x48, 1.020 s from 990 ms"), std::string::npos) << r.Out;
  const std::string video =
      Probe(clip, "v:0", "codec_name,width,height,r_frame_rate,nb_read_frames,duration");
  EXPECT_NE(video.find("codec_name=h264"), std::string::npos) << video;
  EXPECT_NE(video.find("r_frame_rate=200/3"), std::string::npos) << video;
  EXPECT_EQ(Field(video, "nb_read_frames"), 68) << video;
  EXPECT_NEAR(Field(video, "duration"), 1.020, 0.001) << video;
  EXPECT_EQ(Field(video, "width"), 64);
  const std::string audio = Probe(clip, "a:0", "codec_type,duration");
  EXPECT_NE(audio.find("codec_type=audio"), std::string::npos) << audio;
  EXPECT_NEAR(Field(audio, "duration"), 1.020, 0.03) << audio;
  EXPECT_FALSE(fs::exists(clip + ".part"));
}

TEST(RenderToolVideo, TheSoundIsInStepWithThePicture) {
  // A soundtrack that is silent up to 1500 ms and loud after it, with the real pictures.
  const testsupport::TempDir temp;
  const std::string dir = temp.Path();
  fs::create_directories(dir + "/data");
  for (const auto& entry : fs::directory_iterator(std::string(LUMETRA_BUILD_DIR) + "/data"))
    if (entry.path().extension() == ".tqz")
      fs::create_symlink(entry.path(), dir + "/data/" + entry.path().filename().string());
  Result r = RunCommand(
      "ffmpeg -v error -f lavfi -i 'aevalsrc=if(gte(t\\,1.5)\\,0.8*sin(2*PI*1000*t)\\,0):d=3:s=44100' "
      "-ac 2 -c:a libmp3lame -b:a 192k " + Quote(dir + "/data/lumetra.mp3"));
  ASSERT_EQ(r.Code, 0) << r.Err;
  const std::string clip = dir + "/clip.mp4";
  r = RunTool({"--data", dir, "--from", "1000", "--to", "2000", "--size", "64x48", "-q", "-o",
               clip});
  ASSERT_EQ(r.Code, 0) << r.Err;
  const std::string pcm = dir + "/sound.raw";
  r = RunCommand("ffmpeg -v error -i " + Quote(clip) + " -map 0:a -ac 1 -ar 44100 -f s16le " +
                 Quote(pcm));
  ASSERT_EQ(r.Code, 0) << r.Err;
  std::ifstream raw(pcm, std::ios::binary);
  std::vector<int16_t> samples(fs::file_size(pcm) / 2);
  raw.read(reinterpret_cast<char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 2));
  size_t onset = 0;
  while (onset < samples.size() && std::abs(samples[onset]) < 0.4 * 0.8 * 32767) ++onset;
  ASSERT_LT(onset, samples.size());
  // The first frame shows clock 990, so sound time 1500 plays 510 ms after it.
  const double videoStart = Field(Probe(clip, "v:0", "start_time"), "start_time");
  EXPECT_NEAR(static_cast<double>(onset) / 44100.0 - videoStart, 0.510, 0.004);
}

TEST(RenderToolVideo, AFailingFfmpegLeavesNoFile) {
  const testsupport::TempDir temp;
  const std::string dir = temp.Path();
  {
    std::ofstream fake(dir + "/ffmpeg");
    fake << "#!/bin/sh\nexit 3\n";
  }
  fs::permissions(dir + "/ffmpeg", fs::perms::owner_all);
  const std::string clip = dir + "/clip.mp4";
  const Result r = RunTool({"--to", "300", "--size", "64x48", "-o", clip},
                           "PATH=" + Quote(dir) + ":/usr/bin:/bin");
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Err.find("exit status 3"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(clip));
  EXPECT_FALSE(fs::exists(clip + ".part"));
}

}  // namespace
