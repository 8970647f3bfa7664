// Harness for running the real program under Xvfb (640x480x24, so the default
// full-screen mode exists) with SDL's disk audio driver or a private sound server:
// processes, windows, keys.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "music/sound_server.h"
#include "music/tone_mp3.h"

namespace e2e {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline const fs::path kBuild = LUMETRA_BUILD_DIR;
inline constexpr double kBytesPerMs = 44.1 * 4;  // 16-bit stereo at 44100 Hz
inline constexpr const char* kPictures[] = {"loading.tqz", "intro1.tqz",  "checkers.tqz",
                                     "checkers2.tqz", "flare.tqz", "flare2.tqz",
                                     "greets1.tqz",  "greets2.tqz", "greets3.tqz"};

inline double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

inline void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

inline std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// A child process started with its own working directory, environment changes and
// standard error captured in a file.
struct Process {
  pid_t pid = -1;
  std::optional<int> status;

  Process() = default;
  Process(Process&& other) noexcept { *this = std::move(other); }
  Process& operator=(Process&& other) noexcept {  // the other one no longer owns its child
    std::swap(pid, other.pid);
    std::swap(status, other.status);
    return *this;
  }

  static Process Start(const std::vector<std::string>& argv, const fs::path& workdir,
                       const std::map<std::string, std::string>& env,
                       const std::vector<std::string>& unset, const fs::path& stderrFile) {
    Process p;
    p.pid = fork();
    if (p.pid == 0) {
      if (chdir(workdir.c_str()) != 0) _exit(127);
      for (const auto& name : unset) unsetenv(name.c_str());
      for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
      int err = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (err >= 0) dup2(err, 2);
      std::vector<char*> args;
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    return p;
  }

  // The exit code if the process ended within the time, otherwise nothing.
  std::optional<int> Wait(double seconds) {
    auto start = Clock::now();
    while (!status && SecondsSince(start) < seconds) {
      int raw = 0;
      if (waitpid(pid, &raw, WNOHANG) == pid)
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      else
        Pause(20);
    }
    return status;
  }

  ~Process() {
    if (pid > 0 && !status) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
};

class EndToEnd : public ::testing::Test {
 protected:
  // One Xvfb for the suite, on a display number of its own.
  static void SetUpTestSuite() {
    std::string why;
    ASSERT_TRUE(StartXvfb(&why)) << why;
    setenv("DISPLAY", display_.c_str(), 1);
  }
  static void TearDownTestSuite() {
    if (xvfb_ > 0) {
      kill(xvfb_, SIGTERM);
      waitpid(xvfb_, nullptr, 0);
      xvfb_ = -1;
    }
  }

  // Starts Xvfb on a free display number and waits until it listens. Harnesses
  // starting at the same time take turns under a lock file, so two never pick the
  // same number; a number that some other X server takes meanwhile makes Xvfb exit
  // ("server already running"), and the next one is tried.
  static bool StartXvfb(std::string* why) {
    int lock = open("/tmp/lumetra-xvfb.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) {
      *why = "cannot lock /tmp/lumetra-xvfb.lock";
      if (lock >= 0) close(lock);
      return false;
    }
    std::string log;
    int number = 20;
    for (int attempt = 0; attempt < 20 && xvfb_ <= 0; ++attempt, ++number) {
      while (fs::exists("/tmp/.X" + std::to_string(number) + "-lock") ||
             fs::exists("/tmp/.X11-unix/X" + std::to_string(number)))
        ++number;
      int fds[2];
      if (pipe2(fds, O_CLOEXEC) != 0) break;
      fs::path errors = fs::temp_directory_path() /
                        ("lumetra_xvfb_" + std::to_string(getpid()) + ".log");
      pid_t pid = fork();
      if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0) dup2(err, 2);
        int fd = dup(fds[1]);  // without close-on-exec
        std::string display = ":" + std::to_string(number);
        std::string fdText = std::to_string(fd);
        // No reset when the last client leaves: the harness's own short-lived clients
        // (xwininfo, xdotool) would otherwise make the server reset just as the
        // program connects, and its connection would fail.
        execlp("Xvfb", "Xvfb", display.c_str(), "-displayfd", fdText.c_str(), "-screen", "0",
               screen_.c_str(), "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
      }
      close(fds[1]);
      // Xvfb writes the number when it listens, then a newline: read up to it. It
      // closes the pipe when it exits instead.
      std::string written;
      pollfd ready{fds[0], POLLIN, 0};
      char c = 0;
      while (poll(&ready, 1, 60000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') written += c;
      close(fds[0]);
      if (!written.empty() && written == std::to_string(number)) {
        xvfb_ = pid;
        display_ = ":" + written;
      } else {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        log += ":" + std::to_string(number) + ": " + ReadFile(errors);
      }
      fs::remove(errors);
    }
    close(lock);
    if (xvfb_ <= 0) *why = "Xvfb did not start: " + log;
    return xvfb_ > 0;
  }

  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("lumetra_e2e_" + std::to_string(getpid()) + "_" +
                                        info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }

  // A working directory with the build's pictures and a soundtrack of our choice:
  // a tone of the given length, or none.
  fs::path MakeWorkdir(std::optional<double> musicSeconds) {
    fs::path work = dir_ / "work";
    fs::create_directories(work / "data");
    for (const char* name : kPictures)
      fs::create_symlink(kBuild / "data" / name, work / "data" / name);
    if (musicSeconds) {
      EXPECT_TRUE(testsupport::WriteToneMp3((work / "data" / "lumetra.mp3").string(),
                                            *musicSeconds));
    }
    return work;
  }

  // The program on this display, its sound on the disk driver's file or, given a
  // server's environment, on that server.
  Process StartLumetra(const fs::path& workdir,
                       std::map<std::string, std::string> env = {}) {
    if (env.empty())
      env = {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", AudioFile().string()}};
    env["DISPLAY"] = display_;
    return Process::Start({(kBuild / "lumetra").string()}, workdir, env,
                          {"WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "PULSE_SERVER"}, StderrFile());
  }

  fs::path AudioFile() const { return dir_ / "audio.raw"; }
  fs::path StderrFile() const { return dir_ / "stderr.txt"; }

  // The id and geometry ("WxH+X+Y") of the first window with this exact title. SDL
  // sets only the UTF-8 title, which xdotool's name search does not see.
  static std::optional<std::pair<std::string, std::string>> FindWindow(const std::string& title,
                                                                       double seconds) {
    const std::regex line("(0x[0-9a-f]+) \"" + title + "\": \\(.*\\)\\s+(\\d+x\\d+[+-]\\d+[+-]\\d+)");
    auto start = Clock::now();
    do {
      std::string tree = Shell("xwininfo -root -tree 2>/dev/null");
      std::smatch m;
      if (std::regex_search(tree, m, line)) return std::make_pair(m[1].str(), m[2].str());
      Pause(50);
    } while (SecondsSince(start) < seconds);
    return std::nullopt;
  }

  static bool IsViewable(const std::string& id) {
    return Shell("xwininfo -id " + id + " 2>/dev/null").find("IsViewable") != std::string::npos;
  }

  static void PressKey(const std::string& id, const std::string& key) {
    Shell("timeout 10 xdotool windowfocus --sync " + id + " key " + key + " 2>&1");
  }

  // Answers the configuration dialog with Return ("Go!" with the defaults). A key sent
  // as the dialog appears may come before it takes keys: sent again while it stays.
  void AcceptDialog(double seconds = 60) {
    auto dialog = FindWindow("Config", seconds);
    ASSERT_TRUE(dialog) << "no configuration dialog: " << ReadFile(StderrFile());
    const std::string& id = dialog->first;
    for (auto start = Clock::now(); !IsViewable(id) && SecondsSince(start) < seconds;) Pause(50);
    for (int tries = 0; tries < 5 && IsViewable(id); ++tries) {
      PressKey(id, "Return");
      for (auto start = Clock::now(); IsViewable(id) && SecondsSince(start) < 5;) Pause(100);
    }
  }

  // Waits until the disk driver has written the given amount of sound.
  bool WaitForAudio(double ms, double seconds) {
    auto start = Clock::now();
    while (SecondsSince(start) < seconds) {
      std::error_code ec;
      auto size = fs::file_size(AudioFile(), ec);
      if (!ec && size >= ms * kBytesPerMs) return true;
      Pause(50);
    }
    return false;
  }

  std::vector<int16_t> Audio() const {
    std::string bytes = ReadFile(AudioFile());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::copy_n(bytes.data(), samples.size() * 2, reinterpret_cast<char*>(samples.data()));
    return samples;
  }

  static inline std::string screen_ = "640x480x24";  // Xvfb's one mode
  static inline pid_t xvfb_ = -1;
  static inline std::string display_;
  fs::path dir_;
};

}  // namespace e2e
