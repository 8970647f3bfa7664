// Harness for running the real program under a headless sway (wlroots, 1024x768
// output) with XWayland: sway and the program run as a user of their own (sway refuses
// root); keys come from a persistent virtual keyboard, windows from sway's tree,
// screenshots from grim.
#pragma once

#include <pwd.h>

#include "common/png_io.h"
#include "e2e_harness.h"

namespace e2e {

struct SwayWindow {
  int x = 0, y = 0, width = 0, height = 0;
  bool fullscreen = false;
  bool xwayland = false;  // an X11 window through XWayland, not a native client
};

class SwayEndToEnd : public EndToEnd {
 protected:
  static void SetUpTestSuite() {}  // no Xvfb
  static void TearDownTestSuite() {}

  void SetUp() override {
    EndToEnd::SetUp();
#ifndef WL_KEYS_PROGRAM
    GTEST_SKIP() << "the key helper was not built (no Wayland or xkbcommon development files)";
#else
    for (const char* tool : {"sway", "swaymsg", "Xwayland", "grim", "jq"})
      if (Shell(std::string("command -v ") + tool).empty()) GTEST_SKIP() << tool << " is missing";
    // As root: a system user of our own; /tmp/.X11-unix must be root's (1777) before
    // XWayland starts unprivileged.
    if (getuid() == 0) {
      if (!getpwnam(kUser)) Shell(std::string("useradd --system --no-create-home ") + kUser);
      passwd* user = getpwnam(kUser);
      ASSERT_TRUE(user) << "cannot create the user " << kUser;
      asUser_ = {"/usr/bin/setpriv", "--reuid=" + std::to_string(user->pw_uid),
                 "--regid=" + std::to_string(user->pw_gid), "--init-groups", "--"};
      if (mkdir("/tmp/.X11-unix", 01777) == 0) chmod("/tmp/.X11-unix", 01777);
      ASSERT_EQ(chown(dir_.c_str(), user->pw_uid, user->pw_gid), 0);
    }
    // Short: sway's socket path must fit a socket address.
    char runtime[] = "/tmp/lumetra-wl-XXXXXX";
    ASSERT_TRUE(mkdtemp(runtime));  // 0700
    runtime_ = runtime;
    std::ofstream(runtime_ / "sway.conf") << "output HEADLESS-1 resolution 1024x768\n"
                                             "default_border none\n"
                                             "default_floating_border none\n"
                                             "xwayland enable\n";
    Shell("chown -R --reference=" + dir_.string() + " " + runtime_.string());
    env_ = {{"XDG_RUNTIME_DIR", runtime_.string()}, {"HOME", runtime_.string()},
            {"WAYLAND_DISPLAY", "wayland-1"}};
    std::map<std::string, std::string> swayEnv = env_;
    swayEnv.insert({{"WLR_BACKENDS", "headless"}, {"WLR_LIBINPUT_NO_DEVICES", "1"},
                    {"WLR_RENDERER", "pixman"}});
    sway_ = Process::Start(AsUser({"/usr/bin/sway", "-c", (runtime_ / "sway.conf").string()}),
                           dir_, swayEnv, {"DISPLAY", "WAYLAND_DISPLAY"}, dir_ / "sway.txt");
    for (auto start = Clock::now();
         swaySocket_.empty() && !sway_.Wait(0) && SecondsSince(start) < 60; Pause(50))
      for (const auto& entry : fs::directory_iterator(runtime_))
        if (entry.path().filename().string().starts_with("sway-ipc."))
          swaySocket_ = entry.path().string();
    ASSERT_FALSE(swaySocket_.empty()) << "sway did not start: " << ReadFile(dir_ / "sway.txt");
    // XWayland's display, as sway hands it to the programs it starts.
    Swaymsg("exec 'echo $DISPLAY > " + (runtime_ / "display").string() + "'");
    for (auto start = Clock::now(); xDisplay_.empty() && SecondsSince(start) < 30; Pause(50)) {
      xDisplay_ = ReadFile(runtime_ / "display");
      xDisplay_ = xDisplay_.substr(0, xDisplay_.find('\n'));
    }
    ASSERT_FALSE(xDisplay_.empty()) << "no XWayland display";

    // The keyboard reads its keys from a pipe that stays open here.
    fs::path fifo = runtime_ / "keys";
    mkfifo(fifo.c_str(), 0600);
    keysFd_ = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    keys_ = Process::Start({"/bin/sh", "-c", std::string("exec ") + WL_KEYS_PROGRAM + " <" +
                                                 fifo.string() + " >" + KeysOut().string()},
                           dir_, env_, {"DISPLAY"}, dir_ / "keys.txt");
    ASSERT_TRUE(WaitFor(KeysOut(), "ready", 1)) << ReadFile(dir_ / "keys.txt");
#endif
  }

  void TearDown() override {
    if (keysFd_ >= 0) close(keysFd_);
    if (sway_.pid > 0 && !sway_.status) {
      kill(sway_.pid, SIGTERM);
      sway_.Wait(20);
    }
    if (!runtime_.empty()) fs::remove_all(runtime_);
    EndToEnd::TearDown();
  }

  std::vector<std::string> AsUser(std::vector<std::string> argv) const {
    argv.insert(argv.begin(), asUser_.begin(), asUser_.end());
    return argv;
  }

  std::string Swaymsg(const std::string& args) const {
    return Shell("swaymsg -s " + swaySocket_ + " " + args + " 2>&1");
  }

  // The program through XWayland, or as a native Wayland client.
  Process StartOnSway(bool nativeWayland, std::map<std::string, std::string> env = {}) {
    env.insert(env_.begin(), env_.end());
    env.insert({{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", AudioFile().string()}});
    // Natively by the program's own choice on a Wayland session; through XWayland
    // where the user asks SDL for X11.
    env["DISPLAY"] = xDisplay_;
    if (!nativeWayland) env["SDL_VIDEODRIVER"] = "x11";
    return Process::Start(AsUser({(kBuild / "lumetra").string()}), kBuild, env,
                          {"DISPLAY", "SDL_VIDEODRIVER", "PULSE_SERVER", "LUMETRA_STATS"},
                          StderrFile());
  }

  // Types the keys (names as xkbcommon spells them, "shift+" for Shift) on the
  // focused window and waits until the compositor has them.
  void Keys(const std::string& keys) {
    ++keyLines_;
    ASSERT_EQ(write(keysFd_, (keys + "\n").data(), keys.size() + 1),
              static_cast<ssize_t>(keys.size() + 1));
    ASSERT_TRUE(WaitFor(KeysOut(), "ok", keyLines_)) << ReadFile(dir_ / "keys.txt");
  }

  // The first window with this title in sway's tree.
  std::optional<SwayWindow> FindSwayWindow(const std::string& title, double seconds) const {
    const std::string query = "-t get_tree | jq -r '.. | objects | select(.name == \"" + title +
                              "\") | \"\\(.rect.x) \\(.rect.y) \\(.rect.width) \\(.rect.height) "
                              "\\(.fullscreen_mode) \\(.shell)\"'";
    auto start = Clock::now();
    do {
      SwayWindow w;
      int fullscreen = 0;
      char shell[32] = "";
      if (std::sscanf(Swaymsg(query).c_str(), "%d %d %d %d %d %31s", &w.x, &w.y, &w.width,
                      &w.height, &fullscreen, shell) == 6) {
        w.fullscreen = fullscreen != 0;
        w.xwayland = std::string(shell) == "xwayland";
        return w;
      }
      Pause(100);
    } while (SecondsSince(start) < seconds);
    return std::nullopt;
  }

  // The whole output, as the compositor shows it.
  pngio::Image Screenshot() const {
    fs::path file = dir_ / "screen.png";
    Shell("XDG_RUNTIME_DIR=" + runtime_.string() + " WAYLAND_DISPLAY=wayland-1 grim " +
          file.string() + " 2>&1");
    pngio::Image image;
    std::string error;
    pngio::ReadPng(file.string(), image, error);
    return image;
  }

  fs::path KeysOut() const { return dir_ / "keys.out"; }

  // Waits until the file holds the word at least `count` times.
  static bool WaitFor(const fs::path& file, const std::string& word, int count) {
    for (auto start = Clock::now(); SecondsSince(start) < 60; Pause(50)) {
      std::string text = ReadFile(file);
      int found = 0;
      for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++found;
      if (found >= count) return true;
    }
    return false;
  }

  static constexpr const char* kUser = "lumetra-wl";
  std::vector<std::string> asUser_;
  fs::path runtime_;
  std::map<std::string, std::string> env_;
  std::string swaySocket_, xDisplay_;
  Process sway_, keys_;
  int keysFd_ = -1;
  int keyLines_ = 0;
};

}  // namespace e2e
