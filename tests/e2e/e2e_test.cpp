// The real program under Xvfb: the dialog is answered with Return, the run ends on
// Escape or by itself, error boxes are answered, and without a display it says why.
#include "e2e_harness.h"

namespace {

using namespace e2e;

TEST_F(EndToEnd, EscapeEndsTheFullScreenRunPromptlyAfterPlayingTheSoundtrack) {
  fs::path workdir = kBuild;
  Process lumetra = StartLumetra(workdir);
  AcceptDialog();
  auto window = FindWindow("Lumetra", 30);
  ASSERT_TRUE(window) << ReadFile(StderrFile());
  EXPECT_EQ(window->second, "640x480+0+0");  // the whole screen, from the top-left corner
  ASSERT_TRUE(WaitForAudio(3000, 60)) << ReadFile(StderrFile());

  auto escape = Clock::now();
  PressKey(window->first, "Escape");
  std::optional<int> code = lumetra.Wait(20);
  ASSERT_TRUE(code) << "still running 20 s after Escape";
  EXPECT_EQ(*code, 0) << ReadFile(StderrFile());
  std::printf("exit %.3f s after Escape\n", SecondsSince(escape));

  std::vector<int16_t> samples = Audio();
  int peak = 0;
  for (int16_t s : samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_GT(peak, 1000) << "the written sound is silent";
}

TEST_F(EndToEnd, TheSoundtrackPlaysThroughASoundServer) {
  testsupport::SoundServer server;
  std::string why;
  ASSERT_TRUE(server.Start(&why)) << why;
  // What the server's sink plays, recorded from its monitor (the server's own
  // silent stream adds nothing to it).
  fs::path heard = dir_ / "heard.raw";
  Process recorder = Process::Start(
      {"/usr/bin/parec", "--raw", "--device=null.monitor", "--server=" + server.Address(),
       heard.string()},
      dir_, {}, {}, dir_ / "parec.txt");
  Process lumetra = StartLumetra(kBuild, server.Env());
  AcceptDialog();
  auto window = FindWindow("Lumetra", 30);
  ASSERT_TRUE(window) << ReadFile(StderrFile());
  bool loud = false;
  for (auto start = Clock::now(); !loud && SecondsSince(start) < 60; Pause(100)) {
    std::string bytes = ReadFile(heard);
    for (size_t i = 0; i + 1 < bytes.size() && !loud; i += 2)
      loud = std::abs(static_cast<int16_t>((bytes[i] & 0xff) | (bytes[i + 1] << 8))) > 1000;
  }
  EXPECT_TRUE(loud) << "the sink played only silence; " << ReadFile(StderrFile());
  std::string inputs = server.Pactl("list sink-inputs");
  EXPECT_NE(inputs.find("lumetra"), std::string::npos) << inputs;

  PressKey(window->first, "Escape");
  std::optional<int> code = lumetra.Wait(20);
  ASSERT_TRUE(code) << "still running 20 s after Escape";
  EXPECT_EQ(*code, 0) << ReadFile(StderrFile());
}

TEST_F(EndToEnd, RunEndsByItselfAfter70SecondsAndOutlivesAShortSoundtrack) {
  Process lumetra = StartLumetra(MakeWorkdir(2.0));
  AcceptDialog();
  ASSERT_TRUE(FindWindow("Lumetra", 30)) << ReadFile(StderrFile());
  std::optional<int> code = lumetra.Wait(180);
  ASSERT_TRUE(code) << "still running after 180 s";
  EXPECT_EQ(*code, 0) << ReadFile(StderrFile());
  // The clock passed 70000 ms, so the device played that much (less one buffer),
  // silence after the two seconds of music included.
  EXPECT_GE(fs::file_size(AudioFile()) / kBytesPerMs, 70000 - 24);
}

TEST_F(EndToEnd, SoundErrorsShowTheFmodBoxOverTheDesktopAndExitZero) {
  struct Case {
    const char* name;
    std::optional<double> music;
    std::map<std::string, std::string> env;
  } cases[] = {{"missing soundtrack", std::nullopt, {}},
               {"no audio device", 1.0, {{"SDL_AUDIODRIVER", "no-such-driver"}}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path workdir = MakeWorkdir(c.music);
    std::map<std::string, std::string> env = {{"DISPLAY", display_},
                                              {"SDL_AUDIODRIVER", "disk"},
                                              {"SDL_DISKAUDIOFILE", AudioFile().string()}};
    for (const auto& [name, value] : c.env) env[name] = value;
    Process lumetra = Process::Start({(kBuild / "lumetra").string()}, workdir, env,
                                     {"WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}, StderrFile());
    AcceptDialog();
    auto box = FindWindow("FMOD", 30);
    ASSERT_TRUE(box) << ReadFile(StderrFile());
    // The full-screen window has left the screen, so the box can be seen and answered.
    auto window = FindWindow("Lumetra", 1);
    if (window) {
      EXPECT_FALSE(IsViewable(window->first));
    }
    PressKey(box->first, "Return");
    std::optional<int> code = lumetra.Wait(20);
    ASSERT_TRUE(code) << "still running after the box was answered";
    EXPECT_EQ(*code, 0) << ReadFile(StderrFile());
    fs::remove_all(workdir);
  }
}

// SIGTERM ends the program as Cancel and Escape do, with 0: in the dialog, while it
// loads with the sound server stopped (no error box waits for an answer then), and in
// a run whose server has stopped answering (the end does not wait for it).
TEST_F(EndToEnd, SigtermEndsTheDialogTheLoadingAndARunOnAStoppedServerWithZero) {
  {
    Process lumetra = StartLumetra(MakeWorkdir(1.0));
    ASSERT_TRUE(FindWindow("Config", 60)) << ReadFile(StderrFile());
    kill(lumetra.pid, SIGTERM);
    std::optional<int> code = lumetra.Wait(20);
    ASSERT_TRUE(code) << "still running 20 s after SIGTERM in the dialog";
    EXPECT_EQ(*code, 0) << ReadFile(StderrFile());
  }
  testsupport::SoundServer server;
  std::string why;
  ASSERT_TRUE(server.Start(&why)) << why;
  {
    server.Freeze();
    Process lumetra = StartLumetra(kBuild, server.Env());
    AcceptDialog();
    ASSERT_TRUE(FindWindow("Lumetra", 30)) << ReadFile(StderrFile());
    kill(lumetra.pid, SIGTERM);
    std::optional<int> code = lumetra.Wait(20);
    server.Thaw();
    ASSERT_TRUE(code) << "still running 20 s after SIGTERM while loading";
    EXPECT_EQ(*code, 0) << ReadFile(StderrFile());
  }
  Process lumetra = StartLumetra(kBuild, server.Env());
  AcceptDialog();
  ASSERT_TRUE(FindWindow("Lumetra", 30)) << ReadFile(StderrFile());
  Pause(3000);
  server.Freeze();
  kill(lumetra.pid, SIGTERM);
  std::optional<int> code = lumetra.Wait(20);
  server.Thaw();
  ASSERT_TRUE(code) << "still running 20 s after SIGTERM with the server stopped";
  EXPECT_EQ(*code, 0) << ReadFile(StderrFile());
}

TEST_F(EndToEnd, WithoutADisplayTheWindowFailureGoesToStandardError) {
  Process lumetra = Process::Start({(kBuild / "lumetra").string()}, MakeWorkdir(1.0), {},
                                   {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"},
                                   StderrFile());
  std::optional<int> code = lumetra.Wait(30);
  ASSERT_TRUE(code);
  EXPECT_EQ(*code, 0);
  EXPECT_NE(ReadFile(StderrFile()).find("cvn_WinAPI: Window could not be created"),
            std::string::npos)
      << ReadFile(StderrFile());
}

}  // namespace
