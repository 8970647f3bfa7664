// Harness for running the real program under Xvfb (640x480x24, so the default
// full-screen mode exists) with SDL's disk audio driver: processes, windows, keys.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
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
  // One Xvfb for the suite, on a display number it picks itself.
  static void SetUpTestSuite() {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    xvfb_ = fork();
    if (xvfb_ == 0) {
      close(fds[0]);
      std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24",
             "-nolisten", "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // Xvfb writes the number, then a newline: read up to it before closing the pipe.
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&ready, 1, 20000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);
  }
  static void TearDownTestSuite() {
    if (xvfb_ > 0) {
      kill(xvfb_, SIGTERM);
      waitpid(xvfb_, nullptr, 0);
    }
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

  Process StartLumetra(const fs::path& workdir) {
    return Process::Start({(kBuild / "lumetra").string()}, workdir,
                          {{"DISPLAY", display_},
                           {"SDL_AUDIODRIVER", "disk"},
                           {"SDL_DISKAUDIOFILE", AudioFile().string()}},
                          {"WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}, StderrFile());
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

  // Answers the configuration dialog with Return ("Go!" with the defaults).
  static void AcceptDialog() {
    auto dialog = FindWindow("Config", 20);
    ASSERT_TRUE(dialog) << "no configuration dialog";
    PressKey(dialog->first, "Return");
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

  static inline pid_t xvfb_ = -1;
  static inline std::string display_;
  fs::path dir_;
};

}  // namespace e2e
