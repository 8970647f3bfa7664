// LUMETRA_STATS=1: one report of the run on standard error at the end; nothing without it.
#include "e2e_harness.h"

namespace {

using namespace e2e;

using StatsEndToEnd = EndToEnd;

TEST_F(StatsEndToEnd, TheReportComesOnlyWhenAskedForAndDescribesTheRun) {
  for (bool asked : {false, true}) {
    SCOPED_TRACE(asked ? "asked" : "not asked");
    std::map<std::string, std::string> env = {{"DISPLAY", display_},
                                              {"SDL_AUDIODRIVER", "disk"},
                                              {"SDL_DISKAUDIOFILE", AudioFile().string()}};
    if (asked) env["LUMETRA_STATS"] = "1";
    fs::remove(AudioFile());
    Process lumetra = Process::Start({(kBuild / "lumetra").string()}, kBuild, env,
                                     {"WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "LUMETRA_STATS"},
                                     StderrFile());
    AcceptDialog();
    auto window = FindWindow("Lumetra", 30);
    ASSERT_TRUE(window) << ReadFile(StderrFile());
    ASSERT_TRUE(WaitForAudio(1500, 60)) << ReadFile(StderrFile());
    PressKey(window->first, "Escape");
    std::optional<int> code = lumetra.Wait(20);
    ASSERT_TRUE(code) << "still running 20 s after Escape";
    EXPECT_EQ(*code, 0);

    const std::string err = ReadFile(StderrFile());
    if (!asked) {
      EXPECT_EQ(err.find("Lumetra stats"), std::string::npos) << err;
      continue;
    }
    std::printf("%s", err.c_str());
    EXPECT_EQ(err.find("Lumetra stats"), err.rfind("Lumetra stats")) << "more than one report";
    std::smatch frames, interval, rate, swap;
    ASSERT_TRUE(std::regex_search(err, frames, std::regex(R"(frames drawn +(\d+))"))) << err;
    ASSERT_TRUE(std::regex_search(
        err, interval,
        std::regex(R"(frame interval +median ([\d.]+) ms, p95 ([\d.]+) ms, largest ([\d.]+) ms)")))
        << err;
    // The frame starts (the clock's pacing), the drawing time, and what the clock counts
    // of the way to eye and ear (the sound output's delay, the picture's lead), in the
    // same form.
    std::map<std::string, double> medians;
    for (std::string label : {"frame start", "drawing", "output delay", "picture lead"}) {
      std::smatch m;
      EXPECT_TRUE(std::regex_search(
          err, m, std::regex(label + R"( +median ([\d.]+) ms, p95 [\d.]+ ms, largest [\d.]+ ms)")))
          << err;
      medians[label] = m.empty() ? 0 : std::stod(m[1]);
    }
    // Per scene start, the largest interval just after it: the first scene's, and the
    // later ones, which Escape came before, as not shown.
    EXPECT_TRUE(std::regex_search(err, std::regex(R"(\n +0 ms +[\d.]+ ms +CheckerStackScene1\n)")))
        << err;
    EXPECT_TRUE(std::regex_search(
        err, std::regex(R"(\n +56001 ms +not shown +GreetingsScene\n)"))) << err;
    ASSERT_TRUE(std::regex_search(err, rate, std::regex(R"(clock rate +([\d.]+) )"))) << err;
    // Where the machine keeps up (its median frame drawn in less than 15 ms), the median
    // frame starts 15 ms of music after the one before: a pacing wait that left out the
    // picture's lead would add that lead. Medians, so a busy machine's slow frames, paced
    // by their drawing, do not count.
    const double musicPerFrame = medians["frame start"] * std::stod(rate[1]);
    std::printf("%.2f ms of music per frame (median)\n", musicPerFrame);
    if (medians["drawing"] < 15) {
      EXPECT_LT(musicPerFrame, 15 + medians["picture lead"] / 2) << err;
    }
    // Xvfb's GLX has no swap control: it keeps 0, whatever it answers to the request.
    ASSERT_TRUE(std::regex_search(err, swap, std::regex(R"(swap interval +asked 0, in force 0)")))
        << err;
    // Figures of a run, whatever the machine's speed: frames, ordered statistics.
    EXPECT_GE(std::stoi(frames[1]), 2);
    const double median = std::stod(interval[1]), p95 = std::stod(interval[2]),
                 largest = std::stod(interval[3]);
    EXPECT_GT(median, 0.0);
    EXPECT_LE(median, p95);
    EXPECT_LE(p95, largest);
    EXPECT_GT(std::stod(rate[1]), 0.0);
  }
}

}  // namespace
