// Measures the music clock as the frame loop sees it: plays an MP3 on the audible
// output and reads the position every millisecond. Reports the steps between
// consecutive reads (and those steps less the steady time between the reads), the
// rate against the steady clock, the frame intervals a loop pacing on 15 ms of the
// clock would get, and how far the position is from the sound:
// - on SDL's disk driver (SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=...): from the
//   sound written so far;
// - on a PulseAudio server (SDL_AUDIODRIVER=pulseaudio), or PipeWire's (pipewire, or
//   pulseaudio through pipewire-pulse): from what the default sink has played,
//   recorded from its monitor with parec; the sink keeps its own time, so this also
//   gives the sink's rate against the steady clock and the clock's rate against the
//   sink's. The output's delay as it reports it is given too.
//   bench_music_clock [file.mp3] [seconds] [drawing ms]
// With a drawing time the clock is read as the frame loop reads it (once at a frame's
// start, nothing for that long, then a poll until 15 ms of it have passed), and the
// lead of the frame starts' positions over the sound is reported: over real time on
// the silent output (SDL_AUDIODRIVER=silent here), over what the device has played on
// the disk driver (from when each buffer is written) and on PulseAudio.
// On a private server as the live runs start one (bench/demo/session.sh):
//   bench/music/clock_on_server.sh pulseaudio|pipewire|pipewire-pulse [seconds] [drawing ms]
#include <mpg123.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "music/fsound.h"
#include "music/music.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kLoud = 500;  // a sample above this is sound, not silence

double Ms(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(t.time_since_epoch()).count();
}

template <typename T>
T Percentile(std::vector<T> values, double p) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(p * values.size()))];
}

// The whole file as 16-bit stereo samples (for files at 44100 Hz; empty otherwise).
std::vector<int16_t> DecodeFile(const char* path) {
  std::vector<int16_t> samples;
  mpg123_handle* decoder = mpg123_new(nullptr, nullptr);
  if (!decoder) return samples;
  mpg123_format_none(decoder);
  mpg123_format(decoder, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_open(decoder, path) == MPG123_OK) {
    int16_t buffer[4096];
    size_t done = 0;
    int result;
    do {
      result = mpg123_read(decoder, buffer, sizeof buffer, &done);
      samples.insert(samples.end(), buffer, buffer + done / 2);
    } while (result == MPG123_OK || result == MPG123_NEW_FORMAT);
  }
  mpg123_delete(decoder);
  return samples;
}

// Where in the file a stretch of recorded stereo frames comes from: the frame
// offset within `range` frames of `expected` with the least squared difference, or
// -1 when nothing there matches (silence, or sound the file does not have).
long FindInFile(const std::vector<int16_t>& file, const int16_t* heard, long frames,
                long expected, long range) {
  double energy = 0;
  for (long i = 0; i < frames; ++i) energy += double(heard[2 * i]) * heard[2 * i];
  if (energy < frames * kLoud * kLoud) return -1;
  long best = -1;
  double bestError = energy * 0.05;
  const long fileFrames = static_cast<long>(file.size() / 2);
  for (long k = std::max(0L, expected - range); k <= expected + range && k + frames <= fileFrames;
       ++k) {
    double error = 0;
    for (long i = 0; i < frames && error < bestError; ++i) {
      double d = double(heard[2 * i]) - file[2 * (k + i)];
      error += d * d;
    }
    if (error < bestError) bestError = error, best = k;
  }
  return best;
}

// What the default PulseAudio sink plays, from its monitor: the frames recorded at
// each arrival, and the frame count at which the first loud sample came.
struct SinkRecorder {
  FILE* pipe = nullptr;
  pid_t pid = -1;
  std::thread reader;
  std::mutex lock;
  std::vector<std::pair<double, long>> arrivals;  // steady ms, frames recorded
  std::vector<int16_t> heard;                      // everything recorded
  long firstLoud = -1;
  std::atomic<bool> stop{false};

  void Start() {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid = fork();
    if (pid == 0) {
      dup2(fds[1], 1);
      close(fds[0]);
      execlp("parec", "parec", "--raw", "--latency-msec=5", "--device=@DEFAULT_MONITOR@",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    pipe = fdopen(fds[0], "r");
    reader = std::thread([this] {
      int16_t buffer[2 * 64];
      long frames = 0;
      while (!stop) {
        size_t n = fread(buffer, 4, 64, pipe);
        if (n == 0) break;
        double now = Ms(Clock::now());
        std::lock_guard<std::mutex> hold(lock);
        for (size_t i = 0; firstLoud < 0 && i < 2 * n; ++i)
          if (std::abs(buffer[i]) > kLoud) firstLoud = frames + static_cast<long>(i / 2);
        frames += static_cast<long>(n);
        arrivals.emplace_back(now, frames);
        heard.insert(heard.end(), buffer, buffer + 2 * n);
      }
    });
  }
  // Frames played by the time given, by the latest arrival before it.
  long FramesAt(double ms) {
    std::lock_guard<std::mutex> hold(lock);
    auto it = std::upper_bound(arrivals.begin(), arrivals.end(), std::make_pair(ms, 1L << 60));
    return it == arrivals.begin() ? -1 : std::prev(it)->second;
  }
  void Stop() {
    if (!pipe) return;
    stop = true;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    if (reader.joinable()) reader.join();
    fclose(pipe);
  }
};

// What the disk driver has played, from its file's size. It hands each buffer to the
// file as the buffer begins to play, through stdio, whose 4 KiB buffer holds every
// other one until the next: the file grows by the buffer beginning to play, and the
// device plays on for up to two buffers before it grows again.
struct DiskWatcher {
  std::vector<std::pair<double, long>> writes;  // steady ms, bytes after the write
  std::atomic<bool> stop{false};
  std::thread thread;
  void Start(const char* path) {
    thread = std::thread([this, path] {
      for (long last = 0; !stop; usleep(200)) {
        struct stat info{};
        if (stat(path, &info) != 0 || info.st_size == last) continue;
        last = info.st_size;
        writes.emplace_back(Ms(Clock::now()), last);
      }
    });
  }
  void Stop() {
    stop = true;
    if (thread.joinable()) thread.join();
  }
  // Milliseconds of the file played by the given time.
  double PlayedMs(double at) const {
    auto it = std::upper_bound(writes.begin(), writes.end(), std::make_pair(at, 1L << 60));
    if (it == writes.begin()) return -1;
    --it;
    return (it->second - 4096) / 176.4 + std::min(at - it->first, 2048 / 44.1);
  }
};

void PrintLead(const char* against, std::vector<double> lead) {
  if (lead.empty()) return;
  double sum = 0;
  for (double v : lead) sum += v;
  std::printf("lead of the frame starts over %s: mean %.2f ms, median %.2f, largest %.2f, "
              "least %.2f (%zu frames)\n",
              against, sum / lead.size(), Percentile(lead, 0.5),
              *std::max_element(lead.begin(), lead.end()),
              *std::min_element(lead.begin(), lead.end()), lead.size());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace music;
  const char* path = argc > 1 ? argv[1] : "data/lumetra.mp3";
  const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
  const double drawMs = argc > 3 ? std::atof(argv[3]) : 0.0;
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  const bool pulse =
      driver && (std::strcmp(driver, "pulseaudio") == 0 || std::strcmp(driver, "pipewire") == 0);
  const bool silent = driver && std::strcmp(driver, "silent") == 0;
  const char* disk = std::getenv("SDL_DISKAUDIOFILE");

  SinkRecorder sink;
  const std::vector<int16_t> file = pulse ? DecodeFile(path) : std::vector<int16_t>();
  if (pulse) sink.Start();

  FSOUND_SetOutput(silent ? FSOUND_OUTPUT_NOSOUND : FSOUND_OUTPUT_AUDIBLE);
  if (!FSOUND_Init(44100, 16, 0)) {
    std::fprintf(stderr, "%s\n", SoundErrorText(FSOUND_GetError()));
    return 1;
  }
  FSOUND_STREAM* stream = FSOUND_Stream_OpenFile(path, 43, 0);
  DiskWatcher watcher;
  if (disk && drawMs > 0) watcher.Start(disk);
  const double played = Ms(Clock::now());
  if (!stream || FSOUND_Stream_Play(-1, stream) < 0) {
    std::fprintf(stderr, "%s: %s\n", path, SoundErrorText(FSOUND_GetError()));
    return 1;
  }
  const double start = Ms(Clock::now());
  double last = start;
  int32_t first = FSOUND_Stream_GetTime(stream);
  int32_t previous = first;
  std::vector<int32_t> steps;
  std::vector<double> stepErrors;   // |position step - steady step|, ms
  double largestJump = 0;           // position step beyond the steady step, ms
  std::vector<double> behindDisk;   // sound written minus position, ms
  std::vector<double> frameMs;      // steady time for each 15 ms of position
  std::vector<std::pair<double, int32_t>> reads;
  int32_t frameClock = first;
  double frameStart = start;
  double elapsed = 0;
  std::vector<double> behindRealTime;  // frame start's position less time since play
  std::vector<double> delays;          // the output's delay as reported, at each read
  while (elapsed < seconds * 1000.0) {
    if (drawMs > 0) {
      // The frame loop: wait for 15 ms of the clock, then a frame's start.
      while (FSOUND_Stream_GetTime(stream) < previous + 15) std::this_thread::yield();
    } else {
      usleep(1000);
    }
    double before = Ms(Clock::now());
    int32_t now = FSOUND_Stream_GetTime(stream);
    double t = Ms(Clock::now());
    if (drawMs > 0) behindRealTime.push_back(now - ((before + t) / 2 - played));
    elapsed = t - start;
    steps.push_back(now - previous);
    stepErrors.push_back(std::abs((now - previous) - (t - last)));
    largestJump = std::max(largestJump, (now - previous) - (t - last));
    reads.emplace_back(t, now);
    delays.push_back(OutputDelayMs());
    if (now >= frameClock + 15) {
      frameMs.push_back(t - frameStart);
      frameClock = now;
      frameStart = t;
    }
    struct stat info{};
    if (disk && stat(disk, &info) == 0) behindDisk.push_back(info.st_size / 176.4 - now);
    last = t;
    previous = now;
    if (drawMs > 0) usleep(static_cast<useconds_t>(drawMs * 1000));
  }
  FSOUND_Stream_Close(stream);
  FSOUND_Close();
  sink.Stop();
  watcher.Stop();

  if (drawMs > 0 && silent) PrintLead("real time since play", behindRealTime);
  if (drawMs > 0 && disk) {
    // Whole buffers of silence, written while the device was paused, come first.
    FILE* raw = std::fopen(disk, "rb");
    long silentFrames = 0;
    int16_t frame[2];
    while (raw && std::fread(frame, 4, 1, raw) == 1 && frame[0] == 0 && frame[1] == 0)
      ++silentFrames;
    if (raw) std::fclose(raw);
    std::vector<double> lead;
    for (auto [t, clock] : reads)
      if (watcher.PlayedMs(t) >= 0)
        lead.push_back(clock - (watcher.PlayedMs(t) - silentFrames / 1024 * 1024 / 44.1));
    PrintLead("what the device has played", lead);
  }

  std::printf("reads: %zu over %.1f s (one every %.3f ms)\n", steps.size(), elapsed / 1000,
              elapsed / steps.size());
  int histogram[5] = {};
  for (int32_t s : steps) ++histogram[std::clamp(s, 0, 4)];
  std::printf("step between reads: 0 ms %d, 1 ms %d, 2 ms %d, 3 ms %d, 4+ ms %d; largest %d ms\n",
              histogram[0], histogram[1], histogram[2], histogram[3], histogram[4],
              *std::max_element(steps.begin(), steps.end()));
  std::printf("step less steady time between the reads: median %.2f ms, 99.9th percentile "
              "%.2f ms, largest %.2f ms; largest step ahead of it %.2f ms\n",
              Percentile(stepErrors, 0.5), Percentile(stepErrors, 0.999),
              *std::max_element(stepErrors.begin(), stepErrors.end()), largestJump);
  std::printf("rate against the steady clock: %.5f (%+.1f ms over the run)\n",
              (previous - first) / elapsed, (previous - first) - elapsed);
  std::printf("output delay as the output reports it: median %.2f ms, least %.2f, largest %.2f\n",
              Percentile(delays, 0.5), *std::min_element(delays.begin(), delays.end()),
              *std::max_element(delays.begin(), delays.end()));
  if (!frameMs.empty())
    std::printf("a loop pacing on 15 ms of the clock: %zu frames, interval median %.2f ms, "
                "p95 %.2f, p99 %.2f, largest %.2f (reads 1 ms apart add up to 1 ms)\n",
                frameMs.size(), Percentile(frameMs, 0.5), Percentile(frameMs, 0.95),
                Percentile(frameMs, 0.99), *std::max_element(frameMs.begin(), frameMs.end()));
  if (!behindDisk.empty())
    std::printf("sound written minus position: %.1f to %.1f ms, median %.1f (one buffer is "
                "23.2 ms)\n",
                *std::min_element(behindDisk.begin(), behindDisk.end()),
                *std::max_element(behindDisk.begin(), behindDisk.end()),
                Percentile(behindDisk, 0.5));
  if (pulse) {
    if (sink.arrivals.size() < 2 || sink.firstLoud < 0) {
      std::printf("sink: nothing recorded from its monitor (is parec there?)\n");
      return 0;
    }
    auto [t0, f0] = sink.arrivals.front();
    auto [t1, f1] = sink.arrivals.back();
    std::printf("sink rate against the steady clock: %.5f (monitor, %.1f s)\n",
                (f1 - f0) / 44.1 / (t1 - t0), (t1 - t0) / 1000);
    // The sink's position in the stream: every 100 ms of the recording, where in the
    // file the next 10 ms of it come from (the sink plays silence where the stream
    // ran dry, so frame counts alone would run ahead).
    std::vector<std::pair<long, long>> matches;  // recorded frame, file frame
    long expected = 0;
    for (long m = sink.firstLoud; m + 441 < static_cast<long>(sink.heard.size() / 2); m += 4410) {
      long range = matches.empty() ? 44100 : 6615;
      long k = FindInFile(file, &sink.heard[2 * m], 441, expected, range);
      if (k < 0) continue;
      matches.emplace_back(m, k);
      expected = k + 4410;
    }
    std::vector<double> ahead;
    double firstSink = -1, firstClock = 0, lastSink = 0, lastClock = 0;
    for (auto [t, clock] : reads) {
      long frames = sink.FramesAt(t);
      auto it = std::upper_bound(matches.begin(), matches.end(), std::make_pair(frames, 1L << 60));
      if (it == matches.begin()) continue;
      --it;
      if (frames - it->first > 44100) continue;  // too far from the latest match
      double sinkMs = (it->second + frames - it->first) / 44.1;
      ahead.push_back(clock - sinkMs);
      if (firstSink < 0) firstSink = sinkMs, firstClock = clock;
      lastSink = sinkMs;
      lastClock = clock;
    }
    std::printf("sink: %zu stretches of the recording found in the file\n", matches.size());
    if (ahead.size() > 100) {
      if (drawMs > 0) PrintLead("what the sink has played", ahead);
      std::printf("position minus what the sink has played: median %.1f ms, 1st-99th "
                  "percentile %.1f to %.1f ms, range %.1f to %.1f ms (the recording arrives "
                  "up to a few ms late, so these read high)\n",
                  Percentile(ahead, 0.5), Percentile(ahead, 0.01), Percentile(ahead, 0.99),
                  *std::min_element(ahead.begin(), ahead.end()),
                  *std::max_element(ahead.begin(), ahead.end()));
      std::printf("rate against the sink's play of the stream: %.5f (%.1f s of it)\n",
                  (lastClock - firstClock) / (lastSink - firstSink), (lastSink - firstSink) / 1000);
    }
  }
  return 0;
}
