// The FSOUND_* layer: libmpg123 decodes the stream in the audio callback, SDL2
// plays it; the position is a steady clock slewed towards the device's sample count.
#include "music/fsound.h"

#include <SDL.h>
#include <mpg123.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "music/fsound_clock.h"
#include "music/fsound_state.h"

namespace music {

using namespace fsound;

struct FSOUND_STREAM {
  mpg123_handle* decoder = nullptr;
  SDL_AudioStream* converter = nullptr;  // the file's rate and channels to the device's
  bool playing = false;
  bool ended = false;  // the decoder has no more samples; silence follows

  // Written by the audio callback under clockLock.
  int64_t framesHanded = 0;      // sample frames handed to the device since play
  int64_t anchorFrames = 0;      // frames handed before the latest callback's buffer
  int64_t anchorNs = 0;          // steady time of the latest callback (or of play)
  // Recent callbacks (time, frames before the buffer) in a ring, newest at
  // historyNext - 1: the device's own rate over the last two seconds.
  static constexpr int kHistory = 96;
  int64_t historyNs[kHistory] = {};
  int64_t historyFrames[kHistory] = {};
  int historyCount = 0;
  int historyNext = 0;

  StallClock stall;  // written under clockLock

  // The reader's smoothed position.
  int64_t playNs = 0;
  bool hasRead = false;
  double lastReadMs = 0.0;       // position returned by the previous read
  int64_t lastReadNs = 0;
};

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr int kBufferFrames = 1024;
constexpr int kFrameBytes = kChannels * 2;
constexpr double kBufferMs = kBufferFrames * 1000.0 / kRate;  // 23.2 ms
// The position runs at the device's measured rate and is steered towards the device
// by at most 4 % of that rate, closing a gap within about a quarter second: a frame
// paced on 15 ms of it lasts 14.4 to 15.6 ms of the device's time. It never jumps and
// never goes back; it waits when it is a buffer ahead of the device, and a gap of
// more than a buffer behind (the device refilling in a burst after a busy spell)
// closes at up to 25 %.
constexpr double kMaxSteer = 0.04;
constexpr double kCatchUp = 0.25;
constexpr double kSteerMs = 250.0;
// The device's rate is measured over at least this span of callbacks; until then,
// and after a stall, real time stands in for it.
constexpr double kRateSpanMs = 500.0;
// The callbacks of this much of the recent past place the device.
constexpr double kLineMs = 500.0;

// A sound server that stops answering must not hold the program: opening and closing
// the device run on a thread of their own, waited for this long at most (a server
// may take a while to start a stream; closing takes milliseconds).
constexpr auto kOpenWait = std::chrono::seconds(3);
constexpr auto kCloseWait = std::chrono::seconds(1);

SDL_AudioDeviceID device = 0;
// Sound the device holds beyond what the latest callback's hand-over says: SDL's
// PulseAudio driver asks for the next buffer as soon as the server has taken the
// previous one, so a whole buffer more is still queued there.
double queuedMs = 0.0;
std::mutex clockLock;
std::atomic<FSOUND_STREAM*> current{nullptr};  // the stream the callback plays

int64_t NowNs() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

void FillFromStream(FSOUND_STREAM* stream, Uint8* out, int bytes) {
  unsigned char decoded[8192];
  while (!stream->ended && SDL_AudioStreamAvailable(stream->converter) < bytes) {
    size_t done = 0;
    int result = mpg123_read(stream->decoder, decoded, sizeof decoded, &done);
    if (done > 0) SDL_AudioStreamPut(stream->converter, decoded, static_cast<int>(done));
    // The end of the file, or a damaged stream, ends the music: silence follows.
    if (result != MPG123_OK && result != MPG123_NEW_FORMAT && done == 0) {
      stream->ended = true;
      SDL_AudioStreamFlush(stream->converter);
    }
  }
  int filled = std::max(0, SDL_AudioStreamGet(stream->converter, out, bytes));
  std::memset(out + filled, 0, static_cast<size_t>(bytes - filled));
}

// Decodes and drops the given number of the device's frames.
void SkipStream(FSOUND_STREAM* stream, int64_t frames) {
  Uint8 dropped[16384];
  for (int64_t bytes = frames * kFrameBytes; bytes > 0 && !stream->ended;) {
    const int chunk = static_cast<int>(std::min<int64_t>(bytes, sizeof dropped));
    FillFromStream(stream, dropped, chunk);
    bytes -= chunk;
  }
}

void AudioCallback(void*, Uint8* out, int bytes) {
  int64_t now = NowNs();
  FSOUND_STREAM* stream = current.load();
  if (!stream) {
    std::memset(out, 0, static_cast<size_t>(bytes));
    return;
  }
  // After a stall the sound skips to where the position has got by the time this
  // buffer is heard (a sound server first plays what it holds).
  int64_t skipped = 0;
  {
    std::lock_guard<std::mutex> hold(clockLock);
    const double skipMs =
        SkipAfterStall(stream->stall, stream->framesHanded * 1000.0 / kRate, now / 1e6, queuedMs);
    skipped = static_cast<int64_t>(skipMs * kRate / 1000.0);
  }
  if (skipped > 0) SkipStream(stream, skipped);
  FillFromStream(stream, out, bytes);
  // The device asks for the next buffer when the previous ones have gone out, so the
  // frames handed over before this buffer are what has been heard by now (less what
  // a sound server still holds: queuedMs).
  std::lock_guard<std::mutex> hold(clockLock);
  if (skipped > 0) {
    stream->framesHanded += skipped;
    stream->historyCount = 0;
  }
  if (stream->anchorFrames == 0 && stream->framesHanded > 0) stream->historyCount = 0;
  stream->anchorFrames = stream->framesHanded;
  stream->anchorNs = now;
  stream->framesHanded += bytes / kFrameBytes;
  // The device's position moves on until it is a buffer past this callback.
  OutputMoved(stream->stall, now / 1e6 + kBufferMs);
  stream->historyNs[stream->historyNext] = now;
  stream->historyFrames[stream->historyNext] = stream->anchorFrames;
  stream->historyNext = (stream->historyNext + 1) % FSOUND_STREAM::kHistory;
  stream->historyCount = std::min(stream->historyCount + 1, FSOUND_STREAM::kHistory);
}

struct DeviceState {
  double positionMs;  // where the stream is by the device
  double rate;        // device ms per steady ms
};

// Where the stream is now by the device, and how fast the device has been running.
// A callback comes when the device wants the next buffer, later when its thread was
// kept waiting, or early when the device refills after running dry; the recent
// callbacks, each carried forward at the device's rate and averaged, say where the
// device is, at most one buffer past the latest callback (the device has asked for
// no more than that), and nowhere before the first. Past a stall, the stall rule's.
// Without a device, real time since play.
DeviceState Device(FSOUND_STREAM* stream, int64_t now) {
  if (device == 0) return {(now - stream->playNs) / 1e6, 1.0};
  std::lock_guard<std::mutex> hold(clockLock);
  const double sinceCallback = (now - stream->anchorNs) / 1e6;
  const double anchorMs = stream->anchorFrames * 1000.0 / kRate;
  double ahead = stream->framesHanded > 0 ? std::min(sinceCallback, kBufferMs) : 0.0;
  DeviceState state{anchorMs + ahead, 1.0};
  if (stream->historyCount > 1 && sinceCallback <= kStallMs) {
    const int count = stream->historyCount;
    const int oldest =
        (stream->historyNext - count + FSOUND_STREAM::kHistory) % FSOUND_STREAM::kHistory;
    const double spanMs = (stream->anchorNs - stream->historyNs[oldest]) / 1e6;
    if (spanMs >= kRateSpanMs) {
      const double framesMs =
          (stream->anchorFrames - stream->historyFrames[oldest]) * 1000.0 / kRate;
      state.rate = std::clamp(framesMs / spanMs, 0.5, 1.5);
      double sum = 0;  // ms at `now`
      int used = 0;
      for (; used < count; ++used) {
        const int at =
            (stream->historyNext - 1 - used + FSOUND_STREAM::kHistory) % FSOUND_STREAM::kHistory;
        const double agoMs = (now - stream->historyNs[at]) / 1e6;
        if (agoMs > kLineMs) break;
        sum += stream->historyFrames[at] * 1000.0 / kRate + agoMs * state.rate;
      }
      // With no recent callback (the device is late) the latest one alone places it.
      if (used > 0) state.positionMs = std::min(sum / used, anchorMs + kBufferMs);
    }
  }
  state.positionMs = StallPosition(stream->stall, state.positionMs - queuedMs, now / 1e6);
  return state;
}

// Work on the sound system that a stopped server can hold: run on a thread of its
// own, waited for up to `wait`. Work still running after that is left to finish by
// itself (and to close a device it opened after all); no other work starts before it
// has.
struct ServerJob {
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  bool abandoned = false;
  SDL_AudioDeviceID opened = 0;
};
std::shared_ptr<ServerJob> pendingJob;

// Runs `work` bounded; false if it did not finish in time.
bool RunBounded(std::chrono::seconds wait, std::function<SDL_AudioDeviceID()> work,
                SDL_AudioDeviceID* opened = nullptr) {
  if (pendingJob) {
    std::unique_lock<std::mutex> hold(pendingJob->lock);
    if (!pendingJob->finished.wait_for(hold, wait, [&] { return pendingJob->done; }))
      return false;
    hold.unlock();
    pendingJob.reset();
  }
  auto job = std::make_shared<ServerJob>();
  std::thread([job, work] {
    const SDL_AudioDeviceID id = work();
    std::lock_guard<std::mutex> hold(job->lock);
    if (job->abandoned && id != 0) {
      SDL_CloseAudioDevice(id);
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    job->opened = id;
    job->done = true;
    job->finished.notify_all();
  }).detach();
  std::unique_lock<std::mutex> hold(job->lock);
  if (!job->finished.wait_for(hold, wait, [&] { return job->done; })) {
    job->abandoned = true;
    pendingJob = job;
    return false;
  }
  if (opened) *opened = job->opened;
  return true;
}

SDL_AudioDeviceID OpenOnCurrentDriver() {
  SDL_AudioSpec wanted{};
  wanted.freq = kRate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = kChannels;
  wanted.samples = kBufferFrames;
  wanted.callback = AudioCallback;
  SDL_AudioSpec obtained{};
  return SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
}

// SDL's own choice of driver first; where it cannot open an output (a desktop with
// PipeWire but no PulseAudio socket, where SDL settles on ALSA), each other driver
// that plays sound, unless the user named one. Never the file or silent drivers.
SDL_AudioDeviceID OpenAnyDevice() {
  SDL_SetHint(SDL_HINT_APP_NAME, "Lumetra");
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Lumetra");
  std::string tried;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
    if (SDL_AudioDeviceID id = OpenOnCurrentDriver()) return id;
    tried = SDL_GetCurrentAudioDriver();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  if (std::getenv("SDL_AUDIODRIVER")) return 0;
  for (int i = 0; i < SDL_GetNumAudioDrivers(); ++i) {
    const std::string name = SDL_GetAudioDriver(i);
    if (name == tried || name == "disk" || name == "dummy") continue;
    SDL_SetHint(SDL_HINT_AUDIODRIVER, name.c_str());
    const bool started = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    if (!started) continue;
    if (SDL_AudioDeviceID id = OpenOnCurrentDriver()) return id;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  return 0;
}

}  // namespace

bool FSOUND_Init(int mixRate, int maxChannels, unsigned int) {
  if (!CheckInit(mixRate, maxChannels)) return false;
  if (output == FSOUND_OUTPUT_AUDIBLE) {
    if (!RunBounded(kOpenWait, OpenAnyDevice, &device) || device == 0) return Fail(FMOD_ERR_INIT);
    const char* driver = SDL_GetCurrentAudioDriver();
    queuedMs = driver && std::strcmp(driver, "pulseaudio") == 0 ? kBufferMs : 0.0;
  }
  initialised = true;
  lastError = FMOD_ERR_NONE;
  return true;
}

FSOUND_STREAM* FSOUND_Stream_OpenFile(const char* path, unsigned int, int) {
  // Decoded as 16-bit samples at the file's own rate and channels; SDL converts
  // them to the device's 44100 Hz stereo (this libmpg123 does not resample).
  mpg123_handle* decoder = NewStreamDecoder(path, 0);
  if (!decoder) return nullptr;
  const long* rates = nullptr;
  size_t rateCount = 0;
  mpg123_rates(&rates, &rateCount);
  for (size_t i = 0; i < rateCount; ++i)
    mpg123_format(decoder, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_open(decoder, path) != MPG123_OK) {
    mpg123_delete(decoder);
    Fail(FMOD_ERR_FILE_BAD);
    return nullptr;
  }
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  if (mpg123_getformat(decoder, &rate, &channels, &encoding) != MPG123_OK ||
      encoding != MPG123_ENC_SIGNED_16) {
    mpg123_delete(decoder);
    Fail(FMOD_ERR_FILE_FORMAT);
    return nullptr;
  }
  // The format stays fixed from here on, so the conversion does too.
  mpg123_format_none(decoder);
  mpg123_format(decoder, rate, channels, encoding);
  SDL_AudioStream* converter = SDL_NewAudioStream(AUDIO_S16SYS, static_cast<Uint8>(channels),
                                                  static_cast<int>(rate), AUDIO_S16SYS,
                                                  kChannels, kRate);
  if (!converter) {
    mpg123_delete(decoder);
    Fail(FMOD_ERR_MEMORY);
    return nullptr;
  }
  auto* stream = new FSOUND_STREAM;
  stream->decoder = decoder;
  stream->converter = converter;
  lastError = FMOD_ERR_NONE;
  return stream;
}

int FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream) {
  if (!initialised) return Fail(FMOD_ERR_UNINITIALIZED), -1;
  if (!stream || channel < -1) return Fail(FMOD_ERR_INVALID_PARAM), -1;
  if (stream->playing) return 0;
  {
    std::lock_guard<std::mutex> hold(clockLock);
    stream->playNs = NowNs();
    stream->anchorNs = stream->playNs;
    stream->framesHanded = 0;
    stream->anchorFrames = 0;
    stream->playing = true;
    StartStallClock(stream->stall, stream->playNs / 1e6);
    current = stream;
  }
  if (device != 0) {
    SDL_PauseAudioDevice(device, 0);
    // Returns once the device plays the stream's first sound (a sound server first
    // plays out the silence it already holds), or once it has stood still past the
    // stall limit: the first frame a caller draws is the first of the sound, and the
    // picture does not stop a few frames in to wait for it.
    while (Device(stream, NowNs()).positionMs <= 0.0)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return 0;
}

int32_t FSOUND_Stream_GetTime(FSOUND_STREAM* stream) {
  if (!stream) return Fail(FMOD_ERR_INVALID_PARAM), 0;
  if (!stream->playing) return 0;
  int64_t now = NowNs();
  DeviceState byDevice = Device(stream, now);
  double target = std::max(0.0, byDevice.positionMs);
  double position = target;
  // The silent output is the steady clock itself; an audible one runs at the device's
  // rate, steered towards the device, so the position never jumps when the device's
  // callbacks come in bursts. The gap is measured from where the position stands at
  // this read, so pauses between reads do not push it ahead of the device.
  if (stream->hasRead && device != 0) {
    double elapsed = (now - stream->lastReadNs) / 1e6;
    double gap = target - (stream->lastReadMs + elapsed * byDevice.rate);
    double most = std::abs(gap) > kBufferMs ? kCatchUp : kMaxSteer;
    double steer = std::clamp(gap / kSteerMs, -most, most);
    position = stream->lastReadMs + elapsed * byDevice.rate * (1.0 + steer);
    position = std::min(position, target + kBufferMs);
    position = std::max(stream->lastReadMs, position);
  }
  stream->hasRead = true;
  stream->lastReadMs = position;
  stream->lastReadNs = now;
  return static_cast<int32_t>(std::min(position, 2147483647.0));
}

bool FSOUND_Stream_Close(FSOUND_STREAM* stream) {
  if (!stream) return Fail(FMOD_ERR_INVALID_PARAM);
  if (device != 0) SDL_LockAudioDevice(device);
  if (current == stream) current = nullptr;
  if (device != 0) SDL_UnlockAudioDevice(device);
  mpg123_delete(stream->decoder);
  SDL_FreeAudioStream(stream->converter);
  delete stream;
  return true;
}

void FSOUND_Close() {
  if (!initialised) return;
  if (device != 0) {
    RunBounded(kCloseWait, [id = device] {
      SDL_CloseAudioDevice(id);
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return SDL_AudioDeviceID{0};
    });
    device = 0;
  }
  current = nullptr;
  initialised = false;
}

}  // namespace music
