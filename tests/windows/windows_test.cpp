// The Windows program (build-windows/, ./windows.sh) under Wine: a prefix with a
// 1024 x 768 virtual desktop (so display modes exist), made once per test run and
// copied for each program run of the suite, on its own Xvfb, with a private
// PulseAudio null sink. Skipped where build-windows is not built.
#include <regex>
#include <set>
#include <sstream>

#include "common/png_io.h"
#include "e2e/e2e_harness.h"

namespace {

using namespace e2e;

const fs::path kWindows = fs::path(LUMETRA_SOURCE_DIR) / "build-windows";
constexpr char kDesktop[] = "Default - Wine desktop";

class WindowsTest : public EndToEnd {
 protected:
  static void SetUpTestSuite() {
    if (!fs::exists(kWindows / "lumetra.exe") || Shell("command -v wine").empty()) return;
    screen_ = "1024x768x24";
    EndToEnd::SetUpTestSuite();
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    const fs::path ready = kBuild / "tests" / "wine-prefix";
    const int lock = open((ready.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    flock(lock, LOCK_EX);
    if (!fs::exists(ready / "system.reg")) {
      // Without a window manager DestroyWindow stalls unless Wine manages no window.
      fs::create_directories(ready);
      std::ofstream(ready / "settings.reg")
          << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n\"Managed\"=\"N\"\n\n"
             "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\n\"Desktop\"=\"Default\"\n\n"
             "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n\"Default\"=\"1024x768\"\n";
      Shell("export WINEPREFIX=" + ready.string() + "; wineboot -i >/dev/null 2>&1 && wine regedit " +
            (ready / "settings.reg").string() + " >/dev/null 2>&1; wineserver -w");
    }
    prefix_ = fs::temp_directory_path() / ("lumetra_wine_" + std::to_string(getpid()));
    Shell("cp -a " + ready.string() + " " + prefix_.string());
    close(lock);
    setenv("WINEPREFIX", prefix_.c_str(), 1);
    Shell("wineserver -p >/dev/null 2>&1");
    std::string why;
    ASSERT_TRUE(sound_.Start(&why)) << why;
  }
  static void TearDownTestSuite() {
    if (prefix_.empty()) return;
    Shell("wineserver -k");
    sound_.Stop();
    fs::remove_all(prefix_);
    EndToEnd::TearDownTestSuite();
  }
  void SetUp() override {
    if (prefix_.empty()) GTEST_SKIP() << "build-windows/lumetra.exe or wine missing";
    EndToEnd::SetUp();
  }

  // Generous limits for what a busy machine can delay (a program's start under Wine,
  // a window's showing); a run that works never waits for them.
  static constexpr double kLimit = 300;

  // `program` (lumetra.exe or lumetra-test.exe) under Wine in a folder of its own with
  // the desktop build's data, started in that folder or in `startIn`; sound into the
  // suite's sink unless told otherwise.
  Process Start(const std::string& program, std::map<std::string, std::string> env = {},
                const std::string& damaged = "", const fs::path& startIn = {}) {
    const fs::path work = Work();
    PutData(work);
    fs::copy_file(kWindows / program, work / program);
    if (!damaged.empty()) {  // the first 100 bytes only
      fs::remove(work / "data" / damaged);
      std::ofstream(work / "data" / damaged) << ReadFile(kBuild / "data" / damaged).substr(0, 100);
    }
    env.try_emplace("PULSE_SERVER", sound_.Address());
    env["PULSE_LATENCY_MSEC"] = "200";
    return Process::Start({Shell("command -v wine | tr -d '\\n'"), (work / program).string()},
                          startIn.empty() ? work : startIn, env, {}, StderrFile());
  }
  fs::path Work() const { return dir_ / "work λ数据"; }

  // A data folder in `folder` with the desktop build's data.
  static void PutData(const fs::path& folder) {
    fs::create_directories(folder / "data");
    for (const fs::directory_entry& file : fs::directory_iterator(kBuild / "data"))
      fs::create_symlink(file.path(), folder / "data" / file.path().filename());
  }

  // Keys to the window with this title, once it shows and has settled (keys sent at
  // once may come before the window takes them).
  void Keys(const std::string& title, const std::string& keys) {
    auto window = FindWindow(title, kLimit);
    ASSERT_TRUE(window) << "no window " << title << ": " << ReadFile(StderrFile());
    for (auto start = Clock::now(); !IsViewable(window->first) && SecondsSince(start) < kLimit;)
      Pause(100);
    Pause(1000);
    PressKey(window->first, keys);
  }

  // Another program's window active, as when a run is started from a prompt or a
  // launcher: Wine's Notepad, clicked (given the focus by xdotool, it hides the fault).
  Process OtherProgramActive() {
    Process notepad = Process::Start({Shell("command -v wine | tr -d '\\n'"), "notepad"}, dir_,
                                     {}, {}, dir_ / "notepad.txt");
    auto window = FindWindow("Untitled - Notepad", kLimit);
    EXPECT_TRUE(window) << "no Notepad";
    if (window) Shell("xdotool mousemove --window " + window->first + " 200 200 click 1");
    return notepad;
  }

  // Escape as the user types it, to whichever window has the keyboard, every second
  // from when the run's window shows until the run ends. With LUMETRA_STATS=1, its
  // music clock then shows it ended by Escape, long before its own end.
  void TypeEscapeToTheRun(Process& run) {
    ASSERT_TRUE(FindWindow("Lumetra", kLimit)) << "no run window: " << ReadFile(StderrFile());
    std::optional<int> code;
    for (auto start = Clock::now(); !(code = run.Wait(1)) && SecondsSince(start) < kLimit;)
      Shell("timeout 10 xdotool key Escape");
    EXPECT_EQ(code, 0);
    const std::string log = ReadFile(StderrFile());
    std::smatch clock;  // none for a run of fewer than two frames
    const bool timed = std::regex_search(log, clock, std::regex("clock rate .*\\((\\d+) ms in"));
    EXPECT_LT(timed ? std::stoi(clock[1]) : 0, 60000) << "Escape typed did not reach the run";
  }

  // The virtual desktop's size ("1024x768"), or nothing without a desktop.
  static std::string DesktopSize() {
    auto desktop = FindWindow(kDesktop, 1);
    return desktop ? desktop->second.substr(0, desktop->second.find('+')) : "";
  }

  // The box with this caption and text over the desktop's own mode; OK ends the run
  // with this exit code.
  void ExpectBox(Process& run, const std::string& caption, const std::string& text, int code) {
    ASSERT_TRUE(FindWindow(caption, kLimit)) << ReadFile(StderrFile());
    EXPECT_TRUE(DesktopBecomes("1024x768", kLimit));
    EXPECT_TRUE(std::regex_search(ReadFile(StderrFile()), std::regex("MSGBOX_OnInit L\"" + text)))
        << ReadFile(StderrFile());
    Keys(caption, "Return");
    EXPECT_EQ(run.Wait(kLimit), code);
  }

  // Whether the virtual desktop reaches this size ("800x600") within the time.
  static bool DesktopBecomes(const std::string& size, double seconds) {
    for (auto start = Clock::now(); SecondsSince(start) < seconds; Pause(100))
      if (DesktopSize() == size) return true;
    return false;
  }

  static inline fs::path prefix_;
  static inline testsupport::SoundServer sound_{testsupport::SoundServer::kPulseAudio};
};

// The dialog: Escape does nothing, Return starts with the defaults; its boxes open
// ticked and keys reach the run. Started in a folder whose data folder holds the
// production's files, the program reads those (its own folder's are damaged); started
// from a folder with an unrelated data folder, it reads the data beside it. A window's
// inside is the size chosen. With another program's window active, the run's window
// takes the keyboard and Escape typed ends the run. Junk entry points that a driver
// may give for functions it lacks (-1, 1, 2, 3) are refused, not called.
TEST_F(WindowsTest, TheDialogStartsTheRunWithWhatItsKeysChose) {
  const std::map<std::string, std::string> oneFrame = {
      {"LUMETRA_TEST_FRAMES", "0"}, {"LUMETRA_TEST_SEED", "1"}, {"LUMETRA_TEST_FRAME_DIR", "."},
      {"LUMETRA_TEST_JUNK_ENTRY_POINTS", "-1,1"}};
  {
    PutData(dir_ / "start");
    Process run = Start("lumetra-test.exe", oneFrame, "greets3.tqz", dir_ / "start");
    Keys("Config", "Escape");
    Pause(1000);
    EXPECT_FALSE(run.Wait(0.5));
    AcceptDialog(kLimit);
    EXPECT_EQ(run.Wait(120), 0);
    EXPECT_NE(ReadFile(StderrFile()).find("settings 640 x 480, 32 bits, fullscreen 1, music 1"),
              std::string::npos) << ReadFile(StderrFile());
  }
  fs::remove_all(Work());
  fs::create_directories(dir_ / "data");
  std::ofstream(dir_ / "data" / "notes.txt") << "not the production's\n";
  Process notepad = OtherProgramActive();
  Process run = Start("lumetra-test.exe", {{"WINEDEBUG", "-all,trace+message"},
      {"LUMETRA_STATS", "1"}, {"LUMETRA_TEST_JUNK_ENTRY_POINTS", "2,3"}}, "", dir_);
  // Go! has the focus: Tab to the list, Down to 800 x 600, each box by Tab and space.
  Keys("Config", "--delay 100 Tab Tab Down Tab space Tab space Tab space Return");
  TypeEscapeToTheRun(run);
  const std::string trace = ReadFile(StderrFile());
  EXPECT_NE(trace.find("settings 800 x 600, 16 bits, fullscreen 0, music 0"), std::string::npos);
  // The client size Wine gives the window: 800 x 600 (600 << 16 | 800).
  EXPECT_NE(trace.find("WM_SIZE sent from self wp=00000000 lp=02580320"), std::string::npos);
  // A box's own click sets the opposite of its state: three unticked boxes.
  const std::regex untick("BM_SETCHECK sent from self wp=00000000");
  EXPECT_EQ(std::distance(std::sregex_iterator(trace.begin(), trace.end(), untick), {}), 3);
}

TEST_F(WindowsTest, CancelAndClosingTheDialogEndWithZero) {
  for (const char* keys : {"Tab space", "alt+F4"}) {
    fs::remove_all(Work());
    Process run = Start("lumetra.exe");
    Keys("Config", keys);
    EXPECT_EQ(run.Wait(kLimit), 0) << keys;
    EXPECT_FALSE(FindWindow("Lumetra", 0)) << keys;
  }
}

// Full screen at 800 x 600 switches the virtual desktop's mode as a temporary one
// (CDS_FULLSCREEN, 4: Windows restores the desktop's own when the program ends in any
// way, a crash or a kill included; Wine does not, so its trace of the call is what
// shows it). Started while another program's window is active, the run's window takes
// the keyboard; Escape typed ends the run with the desktop's mode back.
TEST_F(WindowsTest, FullScreenChangesTheDisplayModeAndRestoresIt) {
  Process notepad = OtherProgramActive();
  Process run = Start("lumetra.exe", {{"WINEDEBUG", "-all,trace+system"}, {"LUMETRA_STATS", "1"}});
  Keys("Config", "--delay 100 Tab Tab Down Return");
  ASSERT_TRUE(DesktopBecomes("800x600", kLimit));
  TypeEscapeToTheRun(run);
  EXPECT_TRUE(DesktopBecomes("1024x768", kLimit));
  EXPECT_TRUE(std::regex_search(ReadFile(StderrFile()),
                                std::regex("NtUserChangeDisplaySettings flags=\\S*FULLSCREEN")))
      << "the mode was not set as a temporary one";
}

// A truncated picture: "Runtime error 100 at 0x..." captioned "Error" over the
// desktop's own mode, then exit code 100.
TEST_F(WindowsTest, ADamagedPictureShowsTheRuntimeErrorOverTheDesktopsMode) {
  Process run = Start("lumetra.exe", {{"WINEDEBUG", "-all,trace+msgbox"}}, "greets3.tqz");
  Keys("Config", "--delay 100 Tab Tab Down Return");
  ASSERT_TRUE(DesktopBecomes("800x600", kLimit));
  ExpectBox(run, "Error", "Runtime error 100 at 0x[0-9A-F]+\"", 100);
}

// Full screen at 800 x 600 without a sound output: the "FMOD" box over the desktop's
// own mode, then exit code 0.
TEST_F(WindowsTest, WithoutASoundOutputTheFmodBoxSaysSoOverTheDesktopsMode) {
  Process run = Start("lumetra.exe",
                      {{"WINEDEBUG", "-all,trace+msgbox"}, {"PULSE_SERVER", "unix:/nonexistent"}});
  Keys("Config", "--delay 100 Tab Tab Down Return");
  ASSERT_TRUE(DesktopBecomes("800x600", kLimit));
  ExpectBox(run, "FMOD", "Error initializing output device\"", 0);
}

// 1280 x 960 is no mode of the 1024 x 768 desktop: the box says so, the desktop's mode
// never changes, and the exit code is 0.
TEST_F(WindowsTest, AFullScreenSizeTheDisplayLacksLeavesItsModeAlone) {
  Process run = Start("lumetra.exe", {{"WINEDEBUG", "-all,trace+msgbox"}});
  Keys("Config", "--delay 100 Tab Tab Down Down Down Return");
  for (auto start = Clock::now(); !FindWindow("cvn_WinAPI", 0) && SecondsSince(start) < kLimit;
       Pause(100))
    ASSERT_EQ(DesktopSize(), "1024x768");
  ExpectBox(run, "cvn_WinAPI", "Could not set right Resolution\"", 0);
}

// The soundtrack plays into the sink through SDL's WASAPI output and Wine's PulseAudio
// driver, and the clock counts the stream's latency as the audio engine reports it to
// the program (Wine's trace of the call). The clock itself is the desktop's sound
// unit, tested with the music tests.
TEST_F(WindowsTest, TheSoundtrackReachesTheSinkAndTheClockCountsTheEnginesLatency) {
  const fs::path recording = dir_ / "sink.raw";
  Process record = Process::Start(
      {"/bin/sh", "-c", "exec parec --server=" + sound_.Address() + " --device=null.monitor "
       "--raw --format=s16le --channels=2 --rate=44100 --latency-msec=10 > " + recording.string()},
      dir_, {}, {}, dir_ / "parec.txt");
  Process run = Start("lumetra.exe", {{"LUMETRA_STATS", "1"}, {"WINEDEBUG", "-all,trace+pulse"}});
  AcceptDialog(kLimit);
  ASSERT_TRUE(FindWindow("Lumetra", kLimit));
  // The sink's recording up to its last sound, in frames, once it holds 10 s of them.
  auto played = [&] {
    const std::string bytes = ReadFile(recording);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::copy_n(bytes.data(), samples.size() * 2, reinterpret_cast<char*>(samples.data()));
    auto loud = [](int16_t s) { return std::abs(s) > 100; };
    return (samples.rend() - std::find_if(samples.rbegin(), samples.rend(), loud)) / 2;
  };
  for (auto start = Clock::now();
       played() <= 10 * 44100 && !run.Wait(0) && SecondsSince(start) < kLimit;)
    Pause(1000);
  Keys("Lumetra", "Escape");
  ASSERT_EQ(run.Wait(kLimit), 0);
  kill(record.pid, SIGTERM);
  record.Wait(10);
  ASSERT_GT(played(), 10 * 44100) << "the sink played less than 10 s";

  const std::string log = ReadFile(StderrFile());
  const size_t reported = log.find("pulse_get_latency Latency: ");
  const size_t counted = log.find("output delay    median ");
  ASSERT_NE(reported, std::string::npos) << "the program did not ask for the stream's latency";
  ASSERT_NE(counted, std::string::npos) << "no stats report";
  EXPECT_NEAR(std::stod(log.substr(counted + 23)), std::stod(log.substr(reported + 27)), 1.0)
      << log.substr(counted, 80);
}

// Mean absolute difference over the colour channels, and the worst 8 x 8 block's mean,
// in levels: rasterisers differ by a level or two along edges; a missing wire frame, a
// garbled quad or a wrong colour moves the worst block by tens of levels.
std::pair<double, double> Difference(const pngio::Image& want, const std::string& ppm) {
  const std::string header = "P6\n" + std::to_string(want.Width) + " " +
                             std::to_string(want.Height) + "\n255\n";
  const std::string got = ppm.substr(std::min(header.size(), ppm.size()));
  if (ppm.rfind(header, 0) != 0 || got.size() != want.Pixels.size()) return {255, 255};
  const int width = want.Width, height = want.Height;
  double total = 0, worst = 0;
  for (int by = 0; by < height; by += 8) {
    for (int bx = 0; bx < width; bx += 8) {
      double sum = 0;
      int count = 0;
      for (int y = by; y < std::min(by + 8, height); ++y)
        for (int i = (y * width + bx) * 3; i < (y * width + std::min(bx + 8, width)) * 3; ++i, ++count)
          sum += std::abs(int(uint8_t(got[i])) - int(want.Pixels[i]));
      total += sum;
      worst = std::max(worst, sum / count);
    }
  }
  return {total / got.size(), worst};
}

// The test build draws frame n for the clock n x 15 ms from seed 1, as lumetra-render.
TEST_F(WindowsTest, FramesMatchTheOfflineRendererAtTheSameMoments) {
  const std::vector<std::pair<std::string, std::string>> moments = {
      {"loading", "loading picture"}, {"5010", "checker stack"}, {"24000", "wired room"},
      {"38010", "plasma"},            {"60000", "greetings"}};
  std::string frames;
  for (const auto& [moment, name] : moments) frames += (frames.empty() ? "" : ",") + moment;
  Process run = Start("lumetra-test.exe", {{"LUMETRA_TEST_FRAMES", frames},
                                           {"LUMETRA_TEST_SEED", "1"},
                                           {"LUMETRA_TEST_FRAME_DIR", "."}});
  AcceptDialog(kLimit);
  ASSERT_EQ(run.Wait(600), 0) << ReadFile(StderrFile());
  for (const auto& [moment, name] : moments) {
    const fs::path reference = dir_ / (moment + ".png");
    Shell((kBuild / "lumetra-render").string() + " -q --seed 1 --size 640x480 --data " +
          kBuild.string() + (moment == "loading" ? " --loading" : " --at " + moment) + " -o " +
          reference.string());
    pngio::Image want;
    std::string error;
    ASSERT_TRUE(pngio::ReadPng(reference, want, error)) << error;
    const auto [mean, worst] = Difference(want, ReadFile(Work() / (moment + ".ppm")));
    std::printf("%s: mean difference %.2f, worst block %.1f\n", name.c_str(), mean, worst);
    EXPECT_LE(mean, 1.5) << name;
    EXPECT_LE(worst, 24) << name;
  }
}

// What ./windows.sh ships: a program that imports only Windows' own DLLs, and a zip of
// the program, its data and the README.
TEST(WindowsPackage, TheProgramNeedsOnlyWindowsAndTheZipHoldsOnlyWhatItShould) {
  const fs::path exe = kWindows / "lumetra.exe";
  const fs::path zip = kWindows / "lumetra-" LUMETRA_VERSION "-windows-x64.zip";
  if (!fs::exists(exe) || !fs::exists(zip)) GTEST_SKIP() << "./windows.sh has not run";
  const std::set<std::string> system = {"ADVAPI32.dll", "GDI32.dll", "GLU32.dll", "IMM32.dll",
      "KERNEL32.dll", "msvcrt.dll", "ole32.dll", "OLEAUT32.dll", "OPENGL32.dll", "SETUPAPI.dll",
      "SHLWAPI.dll", "USER32.dll", "VERSION.dll", "WINMM.dll"};
  std::istringstream imports(
      Shell("x86_64-w64-mingw32-objdump -p " + exe.string() + " | sed -n 's/^\\tDLL Name: //p'"));
  int count = 0;
  for (std::string dll; std::getline(imports, dll); ++count)
    EXPECT_TRUE(system.count(dll)) << dll << " is not one of Windows' own DLLs";
  EXPECT_GT(count, 0);

  EXPECT_EQ(Shell("cmake -E tar tf " + zip.string()),
            "README.txt\ndata/checkers.tqz\ndata/checkers2.tqz\ndata/flare.tqz\ndata/flare2.tqz\n"
            "data/greets1.tqz\ndata/greets2.tqz\ndata/greets3.tqz\ndata/intro1.tqz\n"
            "data/loading.tqz\ndata/lumetra.mp3\nlumetra.exe\n");
}

}  // namespace
