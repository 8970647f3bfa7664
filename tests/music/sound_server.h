// A private sound server for tests, started and stopped like a private Xvfb, with
// its own runtime folder and one null sink (a clocked sink that plays into nothing):
// - PulseAudio: the Debian daemon in user mode, the native protocol on a socket in
//   that folder, no D-Bus, no X11. A silent stream keeps the sink running at a short
//   latency, as a desktop's sound card runs; an idle null sink renders two-second
//   blocks and would start a new stream that late.
// - PipeWire, as today's desktops run it: pipewire with a null sink node, WirePlumber
//   linking streams to it, on a session bus of its own, with or without pipewire-pulse
//   (PulseAudio's protocol).
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class SoundServer {
 public:
  enum Kind { kPulseAudio, kPipeWire, kPipeWireWithoutPulse };
  explicit SoundServer(Kind kind = kPulseAudio) : kind_(kind) {}
  SoundServer(const SoundServer&) = delete;
  SoundServer& operator=(const SoundServer&) = delete;
  ~SoundServer() { Stop(); }

  // Starts the daemon and waits until its sink runs at a short latency. False, with
  // the reason, when it cannot.
  bool Start(std::string* why) {
    char pattern[] = "/tmp/lumetra_sound_XXXXXX";
    if (!mkdtemp(pattern)) return Fail(why, "no temporary folder");
    dir_ = pattern;
    if (kind_ != kPulseAudio) return StartPipeWire(why);
    address_ = "unix:" + (dir_ / "runtime" / "native").string();
    daemon_ = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                     "--disallow-exit", "--use-pid-file=no", "--log-target=stderr",
                     "--load=module-null-sink sink_name=null",
                     "--load=module-native-protocol-unix"},
                    "/dev/null", dir_ / "daemon.log");
    if (daemon_ < 0) return Fail(why, "cannot start pulseaudio");
    if (!WaitFor([&] { return Pactl("info").find("Default Sink: null") != std::string::npos; }))
      return Fail(why, "pulseaudio did not answer: " + Log());
    keeper_ = Spawn({"pacat", "--raw", "--latency-msec=40", "--server=" + address_}, "/dev/zero",
                    dir_ / "keeper.log");
    if (keeper_ < 0) return Fail(why, "cannot start pacat");
    // The sink's own latency falls from its idle block to the stream's request.
    const std::regex latency(R"(Latency: (\d+) usec)");
    if (!WaitFor([&] {
          std::smatch m;
          std::string sinks = Pactl("list sinks");
          return std::regex_search(sinks, m, latency) && std::stol(m[1]) < 100000;
        }))
      return Fail(why, "the null sink did not start running: " + Pactl("list sinks"));
    return true;
  }

  void Stop() {
    for (pid_t* pid : {&keeper_, &pulse_, &session_, &daemon_, &bus_}) {
      if (*pid > 0) {
        kill(*pid, SIGTERM);
        kill(*pid, SIGCONT);  // a frozen daemon takes the signal only when it runs
        waitpid(*pid, nullptr, 0);
        *pid = -1;
      }
    }
    if (!dir_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(dir_, ec);
      dir_.clear();
    }
  }

  // Stops the server where it stands (a hung server) and lets it go on.
  void Freeze() {
    for (pid_t pid : {daemon_, pulse_})
      if (pid > 0) kill(pid, SIGSTOP);
  }
  void Thaw() {
    for (pid_t pid : {daemon_, pulse_})
      if (pid > 0) kill(pid, SIGCONT);
  }

  // The environment that sends SDL's sound to this server, through SDL's driver for
  // it: pulseaudio, or on PipeWire the given one ("" leaves the choice to SDL).
  std::map<std::string, std::string> Env(const std::string& driver = "pipewire") const {
    if (kind_ == kPulseAudio) return {{"SDL_AUDIODRIVER", "pulseaudio"}, {"PULSE_SERVER", address_}};
    std::map<std::string, std::string> env = {{"XDG_RUNTIME_DIR", (dir_ / "runtime").string()}};
    if (!driver.empty()) env["SDL_AUDIODRIVER"] = driver;
    return env;
  }

  // The nodes PipeWire has, as pw-cli lists them.
  std::string Nodes() const { return Run("pw-cli ls Node"); }
  const std::string& Address() const { return address_; }

  // Output of pactl on this server ("info", "list sinks", ...).
  std::string Pactl(const std::string& command) const {
    return Run("pactl --server=" + address_ + " " + command);
  }

 private:
  bool StartPipeWire(std::string* why) {
    const std::filesystem::path runtime = dir_ / "runtime";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    std::filesystem::create_directories(dir_ / "config" / "pipewire" / "pipewire.conf.d");
    if (FILE* conf = fopen((dir_ / "config/pipewire/pipewire.conf.d/null-sink.conf").c_str(), "w")) {
      fputs("context.objects = [ { factory = adapter args = {\n"
            "  factory.name = support.null-audio-sink node.name = \"null-sink\"\n"
            "  media.class = Audio/Sink audio.position = [ FL FR ] } } ]\n", conf);
      fclose(conf);
    }
    bus_ = Spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile",
                  "--address=unix:path=" + (runtime / "bus").string()},
                 "/dev/null", dir_ / "bus.log");
    if (!WaitFor([&] { return std::filesystem::exists(runtime / "bus"); }))
      return Fail(why, "dbus-daemon did not start");
    daemon_ = Spawn({"pipewire"}, "/dev/null", dir_ / "daemon.log");
    if (!WaitFor([&] { return std::filesystem::exists(runtime / "pipewire-0"); }))
      return Fail(why, "pipewire did not start: " + Log());
    session_ = Spawn({"wireplumber"}, "/dev/null", dir_ / "session.log");
    if (kind_ == kPipeWire) {
      pulse_ = Spawn({"pipewire-pulse"}, "/dev/null", dir_ / "pulse.log");
      address_ = "unix:" + (runtime / "pulse" / "native").string();
      if (!WaitFor([&] { return Pactl("info").find("Default Sink: null-sink") != std::string::npos; }))
        return Fail(why, "pipewire-pulse did not answer: " + Pactl("info"));
    }
    // WirePlumber has made the null sink the default once the sink has its ports.
    if (!WaitFor([&] { return Run("pw-metadata 0 default.audio.sink").find("null-sink") !=
                              std::string::npos; }))
      return Fail(why, "no default sink: " + Nodes());
    return true;
  }

  // A command's output, with this server's environment.
  std::string Run(const std::string& command) const {
    std::string out;
    std::string line = "XDG_RUNTIME_DIR=" + (dir_ / "runtime").string() +
                       " DBUS_SESSION_BUS_ADDRESS=unix:path=" + (dir_ / "runtime" / "bus").string() +
                       " " + command + " 2>&1";
    if (FILE* pipe = popen(line.c_str(), "r")) {
      char buffer[4096];
      size_t n;
      while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
      pclose(pipe);
    }
    return out;
  }

  static bool Fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return false;
  }

  // Polls a condition every 50 ms for up to 30 s.
  template <typename Condition>
  static bool WaitFor(Condition ready) {
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
      if (ready()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  std::string Log() const {
    std::string out;
    if (FILE* f = fopen((dir_ / "daemon.log").c_str(), "r")) {
      char buffer[4096];
      size_t n;
      while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
      fclose(f);
    }
    return out;
  }

  // A child with the server's private folders, ended with this process if the test
  // dies first.
  pid_t Spawn(const std::vector<std::string>& argv, const std::filesystem::path& input,
              const std::filesystem::path& log) const {
    std::filesystem::create_directories(dir_ / "runtime");
    pid_t pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      const std::string runtime = (dir_ / "runtime").string();
      setenv("HOME", dir_.c_str(), 1);
      setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
      setenv("DBUS_SYSTEM_BUS_ADDRESS", "disabled:", 1);
      if (kind_ == kPulseAudio) {
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", runtime.c_str(), 1);
        setenv("PULSE_STATE_PATH", (dir_ / "state").c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
      } else {
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + runtime + "/bus").c_str(), 1);
      }
      unsetenv("DISPLAY");
      unsetenv("PULSE_SERVER");
      int in = open(input.c_str(), O_RDONLY);
      int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in >= 0) dup2(in, 0);
      if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
      }
      std::vector<char*> args;
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
    return pid;
  }

  Kind kind_;
  std::filesystem::path dir_;
  std::string address_;
  pid_t daemon_ = -1;   // pulseaudio or pipewire
  pid_t keeper_ = -1;   // PulseAudio's silent stream
  pid_t bus_ = -1;      // PipeWire's session bus,
  pid_t session_ = -1;  // session manager
  pid_t pulse_ = -1;    // and PulseAudio's protocol

};

}  // namespace testsupport
