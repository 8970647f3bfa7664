// The FSOUND_* front's output on SDL2 audio (the desktop and Windows): 44100 Hz
// stereo in 1024-frame buffers that the device asks for in its callback (on WASAPI,
// the device's own period), the stream converted from the file's rate and channels by
// SDL. The device keeps no clock of its own: its requests place it, and its delay
// after them is what the platform's sound system reports (fsound_delay.h).
#include <SDL.h>
#include <mpg123.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "music/fsound.h"
#include "music/fsound_delay.h"
#include "music/fsound_output.h"

namespace music::fsound {

struct OutputStream {
  SDL_AudioStream* converter = nullptr;  // the file's rate and channels to the device's
};

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr int kBufferFrames = 1024;
constexpr int kFrameBytes = kChannels * 2;

// A sound server that stops answering must not hold the program: opening and closing
// the device run on a thread of their own, waited for this long at most (a server
// may take a while to start a stream; closing takes milliseconds).
constexpr auto kOpenWait = std::chrono::seconds(3);
constexpr auto kCloseWait = std::chrono::seconds(1);

SDL_AudioDeviceID device = 0;
int deviceFrames = kBufferFrames;  // the buffer the opened device asks for

void AudioCallback(void*, Uint8* out, int bytes) {
  if (!FeedOutput(out, bytes / kFrameBytes, SteadyMs()))
    std::memset(out, 0, static_cast<size_t>(bytes));
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

// SDL's WASAPI driver writes the device's period (10 ms) at a time: a callback of any
// other size leaves a part of each buffer waiting in SDL between our callback and the
// device, a wait that changes from one callback to the next. There the callback is
// the device's period. SDL 2.26 opens the stream with the engine's own buffer and
// period and writes a period only once the device holds at most one, so at most two
// periods wait ahead of the engine whatever we ask: a longer stall of SDL's audio
// thread runs the stream dry. Under Wine 8 that thread keeps normal priority, and
// winepulse hands the server 10-15 ms at a time from a thread of normal priority too,
// however long a buffer is asked (measured with 30 and 100 ms kept full), so no buffer
// of ours would keep it fed through a stall. SDL's other outputs are no better there:
// waveOut ran dry more; DirectSound ran dry more at a load of 10 and less at 6, but
// was heard 54-137 ms after its picture (Wine's own buffering, which no call reports).
// So WASAPI stays first.
SDL_AudioDeviceID OpenOnCurrentDriver() {
  SDL_AudioSpec wanted{};
  wanted.freq = kRate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = kChannels;
  wanted.samples = kBufferFrames;
  wanted.callback = AudioCallback;
  SDL_AudioSpec obtained{};
  const bool wasapi = std::strcmp(SDL_GetCurrentAudioDriver(), "wasapi") == 0;
  const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained,
                                                   wasapi ? SDL_AUDIO_ALLOW_SAMPLES_CHANGE : 0);
  deviceFrames = id != 0 && obtained.samples > 0 ? obtained.samples : kBufferFrames;
  return id;
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

bool OpenOutput(OutputSpec& spec) {
  if (!RunBounded(kOpenWait, OpenAnyDevice, &device) || device == 0) return false;
  spec.rate = kRate;
  spec.bufferFrames = deviceFrames;
  spec.ownClock = false;
  const char* driver = SDL_GetCurrentAudioDriver();
  StartDelayReport(driver ? driver : "", deviceFrames, kRate);
  return true;
}

void CloseOutput() {
  StopDelayReport();
  RunBounded(kCloseWait, [id = device] {
    SDL_CloseAudioDevice(id);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return SDL_AudioDeviceID{0};
  });
  device = 0;
}

void StartOutput() { SDL_PauseAudioDevice(device, 0); }
void HoldOutput() { SDL_LockAudioDevice(device); }
void ReleaseOutput() { SDL_UnlockAudioDevice(device); }

OutputTime ReadOutputTime() { return {SteadyMs(), ReportedDelayMs()}; }

void AwaitOutput(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// 16-bit samples at the file's own rate and channels; SDL converts them to the
// device's 44100 Hz stereo (this libmpg123 does not resample).
void OfferFormats(mpg123_handle* decoder) {
  const long* rates = nullptr;
  size_t rateCount = 0;
  mpg123_rates(&rates, &rateCount);
  for (size_t i = 0; i < rateCount; ++i)
    mpg123_format(decoder, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
}

OutputStream* NewOutputStream(mpg123_handle*, long rate, int channels, int encoding, int* error) {
  if (encoding != MPG123_ENC_SIGNED_16) {
    *error = FMOD_ERR_FILE_FORMAT;
    return nullptr;
  }
  SDL_AudioStream* converter = SDL_NewAudioStream(AUDIO_S16SYS, static_cast<Uint8>(channels),
                                                  static_cast<int>(rate), AUDIO_S16SYS,
                                                  kChannels, kRate);
  if (!converter) {
    *error = FMOD_ERR_MEMORY;
    return nullptr;
  }
  return new OutputStream{converter};
}

void DeleteOutputStream(OutputStream* output) {
  if (!output) return;
  SDL_FreeAudioStream(output->converter);
  delete output;
}

void RenderStream(FSOUND_STREAM* stream, void* out, int frames) {
  SDL_AudioStream* converter = StreamOutput(stream)->converter;
  const int bytes = frames * kFrameBytes;
  unsigned char decoded[8192];
  while (!StreamEnded(stream) && SDL_AudioStreamAvailable(converter) < bytes) {
    const size_t done = DecodeStream(stream, decoded, sizeof decoded);
    if (done > 0) SDL_AudioStreamPut(converter, decoded, static_cast<int>(done));
    if (StreamEnded(stream)) SDL_AudioStreamFlush(converter);
  }
  Uint8 dropped[kBufferFrames * kFrameBytes];
  Uint8* into = out ? static_cast<Uint8*>(out) : dropped;
  for (int left = bytes; left > 0;) {
    const int chunk = out ? left : std::min<int>(left, sizeof dropped);
    const int filled = std::max(0, SDL_AudioStreamGet(converter, into, chunk));
    std::memset(into + filled, 0, static_cast<size_t>(chunk - filled));
    left -= chunk;
    if (out) into += chunk;
  }
}

}  // namespace music::fsound
