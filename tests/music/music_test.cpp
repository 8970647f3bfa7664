// The sound layer: error codes and texts, and the stream position as a clock on the
// silent output, on SDL's disk driver (an audible output that needs no sound card)
// and on a sound server (a private PulseAudio daemon).
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "music/fsound.h"
#include "music/music.h"
#include "music/sound_server.h"
#include "music/tone_mp3.h"

namespace {

using namespace music;
namespace fs = std::filesystem;

double SteadyMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

class MusicTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A fresh folder: the death tests' children end inside the test and leave theirs
    // behind, so a later run whose process id comes round again finds one.
    dir_ = fs::temp_directory_path() / ("lumetra_music_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ASSERT_TRUE(testsupport::WriteToneMp3(Path("short.mp3"), 0.5));
    ASSERT_TRUE(testsupport::WriteToneMp3(Path("mono22k.mp3"), 0.5, 22050, 1, 440.0));
    std::ofstream(Path("notes.mp3")) << "These are notes about the soundtrack, not music.\n";
    std::ofstream(Path("empty.mp3"));
    std::vector<char> noise(64 * 1024);
    uint32_t x = 12345;
    for (char& c : noise) c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
    std::ofstream(Path("noise.mp3"), std::ios::binary).write(noise.data(), noise.size());
    // Error boxes must fall back to standard error, never wait for a click.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }
  void TearDown() override {
    FSOUND_Close();
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("PULSE_SERVER");
    unsetenv("XDG_RUNTIME_DIR");
  }

  static void UseServer(const std::map<std::string, std::string>& env) {
    for (const char* name : {"SDL_AUDIODRIVER", "PULSE_SERVER", "XDG_RUNTIME_DIR"}) unsetenv(name);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
  }

  static std::string Path(const std::string& name) { return (dir_ / name).string(); }

  // Plays a file on the disk driver, which writes what it plays to a file in real time.
  static FSOUND_STREAM* PlayOnDisk(const std::string& file, const std::string& rawOut) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", rawOut.c_str(), 1);
    return Play(file);
  }

  static FSOUND_STREAM* Play(const std::string& file) {
    FSOUND_SetOutput(FSOUND_OUTPUT_AUDIBLE);
    if (!FSOUND_Init(44100, 16, 0)) return nullptr;
    FSOUND_STREAM* stream = FSOUND_Stream_OpenFile(file.c_str(), 43, 0);
    if (stream && FSOUND_Stream_Play(-1, stream) < 0) return nullptr;
    return stream;
  }

  static inline fs::path dir_;
};

// Polls the position every millisecond for about the given time, beside the steady
// clock: it never goes back, never steps ahead of real time by more than the clock's
// steering allows (a device buffer, 23 ms, would show as a jump), and the total
// follows real time within the tolerance. Each read is bracketed by steady times, so
// a test thread that a busy machine stops between the two reads cannot pass for a
// jump. Returns the distance to the sound the disk driver has written so far that
// 95 % of the reads keep to, when there is such a file (a busy machine that holds
// the device's thread up makes it write in bursts now and then).
double ExpectSteadyClock(FSOUND_STREAM* stream, double forMs, double driftToleranceMs,
                         const std::string& written = "") {
  double startSteady = SteadyMs();
  int32_t first = FSOUND_Stream_GetTime(stream);
  double firstAfter = SteadyMs();
  int32_t previous = first;
  double previousBefore = startSteady;
  double lastAfter = firstAfter;
  double worstExcess = -1e9;  // step beyond what is allowed, ms
  std::vector<double> distances;
  while (SteadyMs() - startSteady < forMs) {
    usleep(1000);
    double before = SteadyMs();
    int32_t now = FSOUND_Stream_GetTime(stream);
    double after = SteadyMs();
    EXPECT_GE(now, previous);
    // At most the steady time between the reads, sped up by a quarter when the
    // clock catches up with its device, plus 1 ms of rounding.
    double span = after - previousBefore;
    worstExcess = std::max(worstExcess, (now - previous) - 1.25 * span - 1.0);
    if (!written.empty()) {
      // Only where the position and the file's size were read together: a test thread
      // that a busy machine stops between the two cannot pass for a distance.
      std::error_code ec;
      double heardMs = fs::file_size(written, ec) / 176.4;
      if (!ec && SteadyMs() - before < 2.0)
        distances.push_back(std::abs(heardMs - now));
    }
    previous = now;
    previousBefore = before;
    lastAfter = after;
  }
  EXPECT_LE(worstExcess, 0.0) << "the position jumped ahead";
  // Between the first and the last read: at least the time from the end of the
  // first to the start of the last, at most from the start of the first to the end
  // of the last.
  EXPECT_GE(previous - first, previousBefore - firstAfter - driftToleranceMs);
  EXPECT_LE(previous - first, lastAfter - startSteady + driftToleranceMs);
  if (distances.empty()) return 0;
  std::sort(distances.begin(), distances.end());
  return distances[distances.size() * 19 / 20];
}

// Reads the position as the frame loop does: once at a frame's start, nothing while
// the frame is drawn (12 or 30 ms here, light and heavy frames in turn), then a poll
// until 15 ms of it have passed. Gives each frame start's position and the steady
// time halfway through its read.
std::vector<std::pair<double, int32_t>> ReadLikeTheFrameLoop(FSOUND_STREAM* stream,
                                                             double forMs) {
  std::vector<std::pair<double, int32_t>> starts;
  const double begin = SteadyMs();
  for (int frame = 0; SteadyMs() - begin < forMs; ++frame) {
    const double before = SteadyMs();
    const int32_t position = FSOUND_Stream_GetTime(stream);
    starts.emplace_back((before + SteadyMs()) / 2, position);
    usleep(frame % 2 ? 30000 : 12000);
    while (FSOUND_Stream_GetTime(stream) < position + 15) sched_yield();
  }
  return starts;
}

// What SDL's disk driver has played, from its file's size. The driver hands each
// buffer to the file as the buffer begins to play, through stdio, whose 4 KiB buffer
// holds every other one until the next: the file grows by the buffer beginning to
// play, and the device plays on for up to two buffers before it grows again. A
// growth is timed by the watcher's poll that sees it, to within the time since its
// previous poll. Only a growth that came on time (as long after the previous one as
// the sound it adds lasts) and that the watcher saw at once says what the device has
// played: a busy machine that keeps the device's thread or the watcher waiting
// moves the rest.
class DiskWrites {
 public:
  explicit DiskWrites(std::string path) : path_(std::move(path)) {
    watcher_ = std::thread([this] {
      double previousPoll = SteadyMs();
      for (uintmax_t last = 0; !stop_; usleep(300)) {
        std::error_code ec;
        const uintmax_t size = fs::file_size(path_, ec);
        const double polled = SteadyMs();
        const bool timed = polled - previousPoll < 2.0;
        previousPoll = polled;
        if (ec || size == last) continue;
        std::lock_guard<std::mutex> hold(lock_);
        const bool onTime = timed && !writes_.empty() && writes_.back().timed &&
                            std::abs(polled - writes_.back().at - (size - last) / 176.4) < 3.0;
        writes_.push_back({polled, size, timed, onTime});
        last = size;
      }
    });
  }
  ~DiskWrites() {
    stop_ = true;
    watcher_.join();
  }
  // Milliseconds of the file played by the given steady time (negative before any);
  // NaN when the latest growth before it could not be timed.
  double PlayedMs(double at) {
    std::lock_guard<std::mutex> hold(lock_);
    auto later = std::upper_bound(writes_.begin(), writes_.end(), at,
                                  [](double t, const Write& w) { return t < w.at; });
    if (later == writes_.begin()) return -1;
    const Write& write = *std::prev(later);
    if (!write.onTime) return std::nan("");
    return (write.size - 4096) / 176.4 + std::min(at - write.at, 2048 / 44.1);
  }

 private:
  std::string path_;
  std::mutex lock_;
  struct Write {
    double at;        // steady ms
    uintmax_t size;   // the file's size after it
    bool timed;       // seen by a poll that came soon after the previous one
    bool onTime;      // and as long after the previous growth as that one's sound lasts
  };
  std::vector<Write> writes_;
  std::atomic<bool> stop_{false};
  std::thread watcher_;
};

// Stereo frames of silence before the stream's sound in what the disk driver wrote:
// whole buffers written while the device was paused.
size_t SilentFramesBefore(const std::vector<int16_t>& samples) {
  auto sound = std::find_if(samples.begin(), samples.end(), [](int16_t s) { return s != 0; });
  return static_cast<size_t>(sound - samples.begin()) / 2 / 1024 * 1024;
}

std::vector<int16_t> ReadRaw(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<int16_t> samples(bytes.size() / 2);
  std::copy_n(bytes.data(), samples.size() * 2, reinterpret_cast<char*>(samples.data()));
  return samples;
}

TEST_F(MusicTest, ErrorTextsFollowTheTable) {
  EXPECT_STREQ(SoundErrorText(0), "No errors");
  EXPECT_STREQ(SoundErrorText(1),
               "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first");
  EXPECT_STREQ(SoundErrorText(3), "Error initializing output device");
  EXPECT_STREQ(SoundErrorText(9), "File not found");
  EXPECT_STREQ(SoundErrorText(10), "Unknown file format");
  EXPECT_STREQ(SoundErrorText(18), "Required Mediaplayer codec is not installed");
  EXPECT_STREQ(SoundErrorText(19), "Unknown error");
  EXPECT_STREQ(SoundErrorText(-1), "Unknown error");
}

TEST_F(MusicTest, OpeningReportsWhatIsWrongWithTheFile) {
  EXPECT_EQ(FSOUND_Stream_OpenFile(Path("short.mp3").c_str(), 43, 0), nullptr);
  EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_UNINITIALIZED);

  ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND));
  ASSERT_TRUE(FSOUND_Init(44100, 16, 0));
  EXPECT_FALSE(FSOUND_SetOutput(FSOUND_OUTPUT_AUDIBLE));
  EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_BUSY);

  struct Case {
    const char* name;
    int error;
  } cases[] = {{"missing.mp3", FMOD_ERR_FILE_NOTFOUND},
               {"no/such/dir/lumetra.mp3", FMOD_ERR_FILE_NOTFOUND},
               {"notes.mp3", FMOD_ERR_FILE_FORMAT},
               {"empty.mp3", FMOD_ERR_FILE_FORMAT},
               {"noise.mp3", FMOD_ERR_FILE_FORMAT},
               {"", FMOD_ERR_FILE_BAD}};  // the folder itself
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FSOUND_Stream_OpenFile(Path(c.name).c_str(), 43, 0), nullptr);
    EXPECT_EQ(FSOUND_GetError(), c.error);
  }
  FSOUND_STREAM* stream = FSOUND_Stream_OpenFile(Path("short.mp3").c_str(), 43, 0);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_NONE);
  FSOUND_Stream_Close(stream);
}

TEST_F(MusicTest, AudibleOutputWithoutAUsableDeviceFailsToInitialise) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  FSOUND_SetOutput(FSOUND_OUTPUT_AUDIBLE);
  EXPECT_FALSE(FSOUND_Init(44100, 16, 0));
  EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_INIT);
}

TEST_F(MusicTest, SilentOutputOpensNoDeviceAndRunsOnRealTime) {
  ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND));
  ASSERT_TRUE(FSOUND_Init(44100, 16, 0));
  EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
  FSOUND_STREAM* stream = FSOUND_Stream_OpenFile(Path("short.mp3").c_str(), 43, 0);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(FSOUND_Stream_GetTime(stream), 0);  // not playing yet
  const double played = SteadyMs();
  ASSERT_EQ(FSOUND_Stream_Play(-1, stream), 0);
  const int32_t start = FSOUND_Stream_GetTime(stream);  // from 0 at play, however late read
  EXPECT_LE(start, SteadyMs() - played + 1);
  // Past the end of the 0.5 s stream as well.
  ExpectSteadyClock(stream, 800, 5.0);
  EXPECT_GT(FSOUND_Stream_GetTime(stream), 500);
  // Read at frame starts only, it is still the steady time since play: never ahead.
  double largestLead = -1e9;
  for (auto [at, position] : ReadLikeTheFrameLoop(stream, 600))
    largestLead = std::max(largestLead, position - (at - played));
  EXPECT_LE(largestLead, 1.0);
  FSOUND_Stream_Close(stream);
}

TEST_F(MusicTest, DiskOutputIsASmoothClockThatOutlivesTheStream) {
  std::string raw = Path("short.raw");
  const double opened = SteadyMs();
  FSOUND_STREAM* stream = PlayOnDisk(Path("short.mp3"), raw);
  ASSERT_NE(stream, nullptr) << SoundErrorText(FSOUND_GetError());
  const int32_t start = FSOUND_Stream_GetTime(stream);  // from 0 at play, however late read
  EXPECT_LE(start, SteadyMs() - opened + 1);
  // The device runs on real time give or take a few per cent on a busy machine; the
  // position follows the device, within two buffers of the sound written (which holds
  // up to two buffers more than was played). A position a buffer behind would make
  // that three: the bound is halfway.
  double distance = ExpectSteadyClock(stream, 1200, 0.15 * 1200, raw);
  EXPECT_LE(distance, 2.5 * 23.3);
  int32_t end = FSOUND_Stream_GetTime(stream);
  EXPECT_GT(end, 1000);
  // Read at frame starts only, it stays with what the device has played. A busy
  // machine that keeps the device's thread waiting moves its sound by tens of ms for
  // a while; a fault of the position shows in every reading, so up to five are taken.
  // A position a buffer off, in every read or in the reads after a pause, moves the
  // median or the late reads by a buffer: the bounds are half that.
  const double silentMs = SilentFramesBefore(ReadRaw(raw)) / 44.1;  // written by now
  double medianLead = 0, lateLead = 0;
  size_t timed = 0;
  for (int reading = 0; reading < 5; ++reading) {
    std::vector<double> leads;
    {
      DiskWrites writes(raw);
      for (auto [at, position] : ReadLikeTheFrameLoop(stream, 1500)) {
        const double played = writes.PlayedMs(at);
        if (!std::isnan(played)) leads.push_back(position - (played - silentMs));
      }
    }
    timed = leads.size();
    if (timed < 10) continue;
    std::sort(leads.begin(), leads.end());
    medianLead = leads[timed / 2];
    lateLead = leads[timed * 9 / 10];
    if (std::abs(medianLead) <= 23.3 / 2 && lateLead <= 23.3 / 2) break;
  }
  const int32_t last = FSOUND_Stream_GetTime(stream);
  const double lastAt = SteadyMs();
  FSOUND_Stream_Close(stream);
  FSOUND_Close();
  const double closingMs = SteadyMs() - lastAt;  // the device plays on until it is closed
  std::printf("written less position (p95) %.1f ms; position less played: median %.1f ms, "
              "p90 %.1f ms\n", distance, medianLead, lateLead);
  ASSERT_GE(timed, 10u) << "too few frame starts timed";
  EXPECT_NEAR(medianLead, 0.0, 23.3 / 2);
  EXPECT_LE(lateLead, 23.3 / 2) << "the position runs ahead of the device";

  // The device heard the position's worth of sound, give or take its buffers and what
  // it played until closed: the tone for the stream's half second, silence after it.
  std::vector<int16_t> samples = ReadRaw(raw);
  double heardMs = samples.size() / 2 / 44.1;
  EXPECT_NEAR(heardMs, last + closingMs / 2, 3 * 23.3 + closingMs / 2);
  ASSERT_GT(samples.size(), 2u * 44100);
  int16_t loudest = *std::max_element(samples.begin(), samples.begin() + 2 * 22050);
  EXPECT_GT(loudest, 12000);  // 0.5 full scale, less what the encoder takes off
  EXPECT_TRUE(std::all_of(samples.begin() + 2 * 26000, samples.begin() + 2 * 44100,
                          [](int16_t s) { return s == 0; }));
}

// The tone's onset and length in what the device played: gapless where the file's
// tag gives the encoder's delay and padding, whole and in order where it does not.
TEST_F(MusicTest, TheFirstSamplePlayedIsTheFirstComposed) {
  ASSERT_TRUE(testsupport::WriteToneMp3(Path("untagged.mp3"), 0.5, 44100, 2, 440.0, 0.5, false));
  for (const char* name : {"short", "untagged"}) {
    SCOPED_TRACE(name);
    std::string raw = Path(std::string(name) + ".onset.raw");
    FSOUND_STREAM* stream = PlayOnDisk(Path(std::string(name) + ".mp3"), raw);
    ASSERT_NE(stream, nullptr) << SoundErrorText(FSOUND_GetError());
    while (FSOUND_Stream_GetTime(stream) < 700) usleep(2000);
    FSOUND_Stream_Close(stream);
    FSOUND_Close();
    std::vector<int16_t> samples = ReadRaw(raw);
    auto loud = [](int16_t s) { return std::abs(s) > 2000; };
    const size_t onset = (std::find_if(samples.begin(), samples.end(), loud) - samples.begin()) / 2;
    const size_t end = (samples.size() - (std::find_if(samples.rbegin(), samples.rend(), loud) -
                                          samples.rbegin())) / 2;
    EXPECT_NEAR((end - onset) / 44.1, 500.0, 3.0);
    // The stream's first buffer follows whole buffers of silence; the tone's first
    // loud sample is its second (the sine starts at 0).
    if (std::string(name) == "short") {
      EXPECT_LE(onset - SilentFramesBefore(samples), 8u);
    }
  }
}

TEST_F(MusicTest, SoundServerOutputIsASmoothClockThatOutlivesTheStream) {
  testsupport::SoundServer server;
  std::string why;
  ASSERT_TRUE(server.Start(&why)) << why;
  for (const auto& [name, value] : server.Env()) setenv(name.c_str(), value.c_str(), 1);
  FSOUND_STREAM* stream = Play(Path("short.mp3"));
  ASSERT_NE(stream, nullptr) << SoundErrorText(FSOUND_GetError());
  // The server's null sink keeps its own time, which on a busy machine can fall well
  // behind real time; the position follows it.
  ExpectSteadyClock(stream, 1200, 0.35 * 1200);
  EXPECT_GT(FSOUND_Stream_GetTime(stream), 600);
  std::string inputs = server.Pactl("list sink-inputs");
  EXPECT_NE(inputs.find("test_music"), std::string::npos) << inputs;
  FSOUND_Stream_Close(stream);
}

TEST_F(MusicTest, ASoundServerThatNeverPlaysHoldsThePictureOnlyUpToTheStallLimit) {
  testsupport::SoundServer server;
  std::string why;
  ASSERT_TRUE(server.Start(&why)) << why;
  for (const auto& [name, value] : server.Env()) setenv(name.c_str(), value.c_str(), 1);
  FSOUND_SetOutput(FSOUND_OUTPUT_AUDIBLE);
  ASSERT_TRUE(FSOUND_Init(44100, 16, 0)) << SoundErrorText(FSOUND_GetError());
  FSOUND_STREAM* stream = FSOUND_Stream_OpenFile(Path("short.mp3").c_str(), 43, 0);
  ASSERT_NE(stream, nullptr);
  // The device never asks for sound: the position stands still for the stall limit
  // (3 s), then runs on real time, so a frame loop waiting on it goes on.
  server.Freeze();
  auto played = std::async(std::launch::async, [&] { return FSOUND_Stream_Play(-1, stream); });
  const bool returned = played.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  int32_t moved = 0;
  if (returned) {
    const int32_t before = FSOUND_Stream_GetTime(stream);
    double start = SteadyMs();
    while (SteadyMs() - start < 20000 && FSOUND_Stream_GetTime(stream) - before < 500)
      usleep(1000);
    moved = FSOUND_Stream_GetTime(stream) - before;
  }
  server.Thaw();
  EXPECT_TRUE(returned) << "playing waits for the device without end";
  EXPECT_EQ(played.get(), 0);
  EXPECT_GE(moved, 500) << "the position stands still with its device";
  FSOUND_Stream_Close(stream);
}

// Opening and closing wait for a stopped server only a few seconds, on PulseAudio and
// on PipeWire through either of SDL's drivers for it.
TEST_F(MusicTest, AStoppedSoundServerHoldsNeitherTheStartNorTheEnd) {
  using testsupport::SoundServer;
  const std::pair<SoundServer::Kind, const char*> servers[] = {
      {SoundServer::kPulseAudio, "pulseaudio"},
      {SoundServer::kPipeWire, "pipewire"},
      {SoundServer::kPipeWire, "pulseaudio"}};
  for (auto [kind, driver] : servers) {
    SCOPED_TRACE(driver);
    SoundServer server(kind);
    std::string why;
    ASSERT_TRUE(server.Start(&why)) << why;
    UseServer(server.Env(driver));
    server.Freeze();
    FSOUND_SetOutput(FSOUND_OUTPUT_AUDIBLE);
    auto init = std::async(std::launch::async, [] { return FSOUND_Init(44100, 16, 0); });
    bool returned = init.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    server.Thaw();
    EXPECT_TRUE(returned) << "opening waits for the stopped server";
    EXPECT_FALSE(init.get());
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_INIT);
    FSOUND_Close();

    FSOUND_STREAM* stream = Play(Path("short.mp3"));
    ASSERT_NE(stream, nullptr) << SoundErrorText(FSOUND_GetError());
    server.Freeze();
    auto close = std::async(std::launch::async, [&] {
      FSOUND_Stream_Close(stream);
      FSOUND_Close();
    });
    returned = close.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    server.Thaw();
    EXPECT_TRUE(returned) << "closing waits for the stopped server";
    close.get();
  }
}

// What the sound server plays, recorded from its sink's monitor for about the given
// time beside the position: for each second's onset heard (the tone after its 20 ms
// of silence; its pitch says which second), the position when it was recorded less
// the stream time it begins. The recording's own delay is the same in every reading.
std::vector<double> PositionLessHeard(FSOUND_STREAM* stream,
                                      const testsupport::SoundServer& server, double forMs) {
  const std::string record = "parec --server=" + server.Address() +
                             " --device=@DEFAULT_MONITOR@ --raw --format=s16le --channels=1"
                             " --rate=44100 --latency-msec=10";
  FILE* pipe = popen(record.c_str(), "r");
  if (!pipe) return {};
  std::vector<int16_t> heard;
  std::vector<std::pair<size_t, int32_t>> reads;  // samples recorded, the position then
  int16_t chunk[441];
  for (const double start = SteadyMs();
       SteadyMs() - start < forMs && fread(chunk, 2, 441, pipe) == 441;) {
    heard.insert(heard.end(), chunk, chunk + 441);
    reads.emplace_back(heard.size(), FSOUND_Stream_GetTime(stream));
  }
  pclose(pipe);
  // Upward zero crossings in [from, to).
  auto crossings = [&](size_t from, size_t to) {
    int count = 0;
    for (size_t j = from + 1; j < to; ++j) count += heard[j - 1] < 0 && heard[j] >= 0;
    return count;
  };
  // An onset is a second's: the 50 ms before its silence have the previous second's
  // pitch and the 100 ms after it the next one's (a dropout of the sound inside a
  // second, or one near an onset, is no onset).
  std::vector<double> offsets;
  size_t quiet = 0;
  for (size_t i = 2205 + 1000; i + 4410 < heard.size(); ++i) {
    if (std::abs(heard[i]) > 3000) {
      const int after = crossings(i, i + 4410);
      const int second = static_cast<int>(std::lround((after / 0.1 - 300) / 100));
      if (second >= 1 && quiet > 600 && quiet < 1000 && std::abs(after - (30 + 10 * second)) <= 1 &&
          std::abs(crossings(i - quiet - 2205, i - quiet) - (10 + 5 * second)) <= 1) {
        const auto read = std::lower_bound(reads.begin(), reads.end(), std::make_pair(i + 1, 0));
        offsets.push_back(read->second - (read->first - i) / 44.1 - (second * 1000 + 20));
      }
      quiet = 0;
    } else if (std::abs(heard[i]) < 330) {
      ++quiet;
    }
  }
  return offsets;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 1e9 : v[v.size() / 2];
}

// The position less the sound heard, over readings of up to 18 s. A busy machine's
// sound server moves the sound by tens of ms now and then; a fault of the position
// shows in every reading, so up to four are pooled.
std::vector<double> PooledPositionLessHeard(FSOUND_STREAM* stream,
                                            const testsupport::SoundServer& server,
                                            double boundMs) {
  std::vector<double> offsets;
  for (int reading = 0; reading < 4 && (offsets.size() < 3 || std::abs(Median(offsets)) > boundMs);
       ++reading) {
    const std::vector<double> heard = PositionLessHeard(stream, server, 4500);
    offsets.insert(offsets.end(), heard.begin(), heard.end());
  }
  return offsets;
}

// The position is what the server's sink plays, whatever latency the server gives the
// stream (here the 100 ms a user can ask for, four times SDL's buffer); after the
// server stood still for 10 s, it moves on at once, and the sound goes on where the
// position is (the picture), not where it stopped.
TEST_F(MusicTest, ThePositionIsWhatTheSinkPlaysAndAfterAStallTheSoundRejoinsIt) {
  ASSERT_TRUE(testsupport::WriteToneMp3(Path("steps.mp3"), 36, 44100, 2, 300, 0.5, true, 100, 20));
  testsupport::SoundServer server;
  std::string why;
  ASSERT_TRUE(server.Start(&why)) << why;
  UseServer(server.Env());
  setenv("PULSE_LATENCY_MSEC", "100", 1);  // for SDL's stream, not for the recorder
  FSOUND_STREAM* stream = Play(Path("steps.mp3"));
  unsetenv("PULSE_LATENCY_MSEC");
  ASSERT_NE(stream, nullptr) << SoundErrorText(FSOUND_GetError());
  // The server's latency (65-75 ms here) counted as SDL's buffer alone (23.2 ms) would
  // move every reading by 40-50 ms: the bound is half that.
  constexpr double kBoundMs = 20;
  std::vector<double> before = PooledPositionLessHeard(stream, server, kBoundMs);
  EXPECT_NEAR(Median(before), 0, kBoundMs) << "the position less the sound heard";
  server.Freeze();
  sleep(10);
  server.Thaw();
  // The position as the frame loop reads it: its longest standstill from here.
  double longestStill = 0;
  const double thawed = SteadyMs();
  int32_t last = FSOUND_Stream_GetTime(stream);
  for (double since = thawed, now = thawed; now - thawed < 2000; usleep(1000)) {
    const int32_t position = FSOUND_Stream_GetTime(stream);
    now = SteadyMs();
    if (position != last) since = now;
    last = position;
    longestStill = std::max(longestStill, now - since);
  }
  const std::vector<double> after = PositionLessHeard(stream, server, 4000);
  FSOUND_Stream_Close(stream);
  std::string offsets;
  for (double o : before) offsets += std::to_string(std::lround(o)) + " ";
  offsets += "| ";
  for (double o : after) offsets += std::to_string(std::lround(o)) + " ";
  std::printf("output delay %.0f ms; position still at most %.0f ms after the stall; position "
              "less sound heard: %s\n", music::OutputDelayMs(), longestStill, offsets.c_str());
  ASSERT_FALSE(before.empty() || after.empty()) << "no clean onset heard: " << offsets;
  EXPECT_LT(longestStill, 500) << "the position stood still after the stall";
  // As far apart as before the stall, give or take two frames and what a busy
  // machine's sound server adds (its dropouts move the sound by tens of ms).
  EXPECT_NEAR(Median(after), Median(before), 50) << offsets;
}

// The same on PipeWire's pulse server, which reports no latency for the stream: what it
// holds for it is counted, not SDL's buffer. Its cycle changes as the recorder comes
// and goes, so the sound moves by a few ms more than on PulseAudio; SDL's buffer alone
// would count some 25 ms too few.
TEST_F(MusicTest, OnPipeWiresPulseServerThePositionIsWhatTheSinkPlays) {
  ASSERT_TRUE(testsupport::WriteToneMp3(Path("steps.mp3"), 36, 44100, 2, 300, 0.5, true, 100, 20));
  testsupport::SoundServer server(testsupport::SoundServer::kPipeWire);
  std::string why;
  ASSERT_TRUE(server.Start(&why)) << why;
  UseServer(server.Env("pulseaudio"));
  setenv("PULSE_LATENCY_MSEC", "60", 1);
  FSOUND_STREAM* stream = Play(Path("steps.mp3"));
  unsetenv("PULSE_LATENCY_MSEC");
  ASSERT_NE(stream, nullptr) << SoundErrorText(FSOUND_GetError());
  const std::vector<double> offsets = PooledPositionLessHeard(stream, server, 10);
  FSOUND_Stream_Close(stream);
  EXPECT_NEAR(Median(offsets), 0, 10) << "the position less the sound heard";
}

// With PipeWire but no PulseAudio socket, SDL's choice (ALSA) has no output; its
// PipeWire driver plays, and the stream carries the program's name.
TEST_F(MusicTest, WhereSdlsChoiceCannotPlayAnotherDriverDoes) {
  testsupport::SoundServer server(testsupport::SoundServer::kPipeWireWithoutPulse);
  std::string why;
  ASSERT_TRUE(server.Start(&why)) << why;
  UseServer(server.Env(""));
  FSOUND_STREAM* stream = Play(Path("short.mp3"));
  ASSERT_NE(stream, nullptr) << SoundErrorText(FSOUND_GetError());
  EXPECT_NE(server.Nodes().find("node.name = \"Lumetra\""), std::string::npos) << server.Nodes();
  FSOUND_Stream_Close(stream);
}

TEST_F(MusicTest, AnyRateAndChannelCountPlaysAtItsOwnPitchInStereo) {
  std::string raw = Path("mono22k.raw");
  FSOUND_STREAM* stream = PlayOnDisk(Path("mono22k.mp3"), raw);
  ASSERT_NE(stream, nullptr) << SoundErrorText(FSOUND_GetError());
  while (FSOUND_Stream_GetTime(stream) < 600) usleep(2000);
  FSOUND_Stream_Close(stream);
  FSOUND_Close();

  // Count upward zero crossings of each channel over 0.1 to 0.4 s: 440 Hz gives 132.
  std::vector<int16_t> samples = ReadRaw(raw);
  ASSERT_GT(samples.size(), 2u * 44100 / 2);
  for (int channel = 0; channel < 2; ++channel) {
    int crossings = 0;
    for (size_t i = 4410; i < 17640; ++i)
      if (samples[2 * (i - 1) + channel] < 0 && samples[2 * i + channel] >= 0) ++crossings;
    EXPECT_NEAR(crossings, 132, 2) << "channel " << channel;
  }
}

// StartMusic ends the program through the "FMOD" box, which falls back to standard
// error here, with exit code 0.
TEST_F(MusicTest, StartMusicFailuresEndTheProgramWithTheErrorText) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  fs::create_directories(dir_ / "nomusic");
  fs::create_directories(dir_ / "text" / "data");
  fs::copy_file(Path("notes.mp3"), dir_ / "text" / "data" / "lumetra.mp3");
  fs::create_directories(dir_ / "music" / "data");
  fs::copy_file(Path("short.mp3"), dir_ / "music" / "data" / "lumetra.mp3");

  EXPECT_EXIT(
      {
        fs::current_path(dir_ / "nomusic");
        StartMusic(false);
      },
      ::testing::ExitedWithCode(0), "FMOD: File not found");
  EXPECT_EXIT(
      {
        fs::current_path(dir_ / "text");
        StartMusic(false);
      },
      ::testing::ExitedWithCode(0), "FMOD: Unknown file format");
  EXPECT_EXIT(
      {
        fs::current_path(dir_ / "music");
        setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
        StartMusic(true);
      },
      ::testing::ExitedWithCode(0), "FMOD: Error initializing output device");
}

}  // namespace
