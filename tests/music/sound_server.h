// A private PulseAudio sound server for tests, started and stopped like a private
// Xvfb: the Debian daemon in user mode with its own runtime folder, one null sink
// (a clocked sink that plays into nothing), the native protocol on a socket in that
// folder, no D-Bus, no X11. A silent stream keeps the sink running at a short
// latency, as a desktop's sound card runs; an idle null sink renders two-second
// blocks and would start a new stream that late.
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
  SoundServer() = default;
  SoundServer(const SoundServer&) = delete;
  SoundServer& operator=(const SoundServer&) = delete;
  ~SoundServer() { Stop(); }

  // Starts the daemon and waits until its sink runs at a short latency. False, with
  // the reason, when it cannot.
  bool Start(std::string* why) {
    char pattern[] = "/tmp/lumetra_pulse_XXXXXX";
    if (!mkdtemp(pattern)) return Fail(why, "no temporary folder");
    dir_ = pattern;
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
    for (pid_t* pid : {&keeper_, &daemon_}) {
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

  // Stops the daemon where it stands (a hung server) and lets it go on.
  void Freeze() { kill(daemon_, SIGSTOP); }
  void Thaw() { kill(daemon_, SIGCONT); }

  // The environment that sends SDL's sound to this server.
  std::map<std::string, std::string> Env() const {
    return {{"SDL_AUDIODRIVER", "pulseaudio"}, {"PULSE_SERVER", address_}};
  }
  const std::string& Address() const { return address_; }

  // Output of pactl on this server ("info", "list sinks", ...).
  std::string Pactl(const std::string& command) const {
    std::string out;
    std::string line = "pactl --server=" + address_ + " " + command + " 2>&1";
    if (FILE* pipe = popen(line.c_str(), "r")) {
      char buffer[4096];
      size_t n;
      while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
      pclose(pipe);
    }
    return out;
  }

 private:
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
      setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
      setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
      setenv("PULSE_RUNTIME_PATH", runtime.c_str(), 1);
      setenv("PULSE_STATE_PATH", (dir_ / "state").c_str(), 1);
      setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
      setenv("DBUS_SYSTEM_BUS_ADDRESS", "disabled:", 1);
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

  std::filesystem::path dir_;
  std::string address_;
  pid_t daemon_ = -1;
  pid_t keeper_ = -1;
};

}  // namespace testsupport
