// The FSOUND_* calls over any output (fsound_output.h): their checks and error codes,
// the stream's decoding (libmpg123) and state, and its position, the production's
// clock: where the stream is heard now, from where the output's buffers went out and
// its own delay, held to the stall rule (fsound_clock.h), steered where the output
// reports in bursts, and never going back.
#include "music/fsound.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <mutex>

#include "music/fsound_clock.h"
#include "music/fsound_output.h"

namespace music {

using namespace fsound;

struct FSOUND_STREAM {
  mpg123_handle* decoder = nullptr;
  OutputStream* output = nullptr;  // the output's state for it (null where it needs none)
  bool playing = false;
  bool ended = false;  // the decoder has no more samples; silence follows
  double playMs = 0;   // steady time of play

  // Written by the output's feed under clockLock: the buffers handed to the output, in a
  // ring, newest at handedNext - 1: the stream frame each begins with, the time on the
  // output's clock it goes out at, and its length in frames.
  static constexpr int kHandOvers = 96;
  int64_t handedFrames[kHandOvers] = {};
  double handedAtMs[kHandOvers] = {};
  int handedLength[kHandOvers] = {};
  int handedCount = 0;
  int handedNext = 0;
  int handOvers = 0;      // since play
  int placing = 0;        // the newest hand-overs that place the output's line and rate
  int64_t framesHanded = 0;
  double lookedAtClockMs = NAN;  // the output's own clock at the previous look
  StallClock stall;

  // The reader's position.
  bool hasRead = false;
  double lastReadMs = 0;  // position returned by the previous read
  double lastReadAt = 0;  // steady ms of it
};

namespace {

int lastError = FMOD_ERR_NONE;
int output = FSOUND_OUTPUT_AUDIBLE;
bool initialised = false;
bool audible = false;  // an output is open (FSOUND_Init on the audible output)
OutputSpec spec;
std::mutex clockLock;
std::atomic<FSOUND_STREAM*> current{nullptr};  // the stream the output plays

// The position runs at the output's measured rate and is steered towards it by at most
// 4 % of that rate, closing a gap within about a quarter second: a frame paced on 15 ms
// of it lasts 14.4 to 15.6 ms of the output's time. It never jumps and never goes back;
// it waits when it is a buffer ahead of the output, and a gap of more than a buffer
// behind (an output refilling in a burst after a busy spell) closes at up to 25 %.
constexpr double kMaxSteer = 0.04;
constexpr double kCatchUp = 0.25;
constexpr double kSteerMs = 250.0;
// The output's rate is measured over at least this span of hand-overs; until then,
// and after a stall, real time stands in for it.
constexpr double kRateSpanMs = 500.0;
// The hand-overs of this much of the recent past place the output.
constexpr double kLineMs = 500.0;

bool Fail(int code) {
  lastError = code;
  return false;
}

double FramesMs(int64_t frames) { return frames * 1000.0 / spec.rate; }

int RingAt(const FSOUND_STREAM* stream, int back) {
  return (stream->handedNext - 1 - back + 2 * FSOUND_STREAM::kHandOvers) %
         FSOUND_STREAM::kHandOvers;
}

// An output with a clock of its own moves while that clock does.
void LookAtOutput(FSOUND_STREAM* stream, double clockMs, double nowMs) {
  if (!spec.ownClock || clockMs == stream->lookedAtClockMs) return;
  stream->lookedAtClockMs = clockMs;
  OutputMoved(stream->stall, nowMs);
}

struct OutputPlace {
  double positionMs;  // where the stream goes out on the output's clock at clockMs
  double rate;        // the output's ms per steady ms
};

// Where the stream goes out at `clockMs` by the buffers handed over: the latest one
// gone out by then (or the first, before any has), carried forward on the clock, at
// most to its end. An output that asks for sound in bursts places it better through
// all its recent requests, each carried forward at the output's rate and averaged,
// never past that end. Before the first hand-over, 0. Under clockLock.
OutputPlace PlaceOutput(const FSOUND_STREAM* stream, double clockMs) {
  OutputPlace place{0.0, 1.0};
  if (stream->handedCount == 0) return place;
  int at = RingAt(stream, stream->handedCount - 1);
  for (int back = 0; back < stream->handedCount; ++back) {
    const int i = RingAt(stream, back);
    if (stream->handedAtMs[i] <= clockMs) {
      at = i;
      break;
    }
  }
  const double endMs = FramesMs(stream->handedFrames[at]) + FramesMs(stream->handedLength[at]);
  place.positionMs = FramesMs(stream->handedFrames[at]) +
                     std::min(clockMs - stream->handedAtMs[at], FramesMs(stream->handedLength[at]));
  const int newest = RingAt(stream, 0);
  if (stream->placing > 1 && clockMs - stream->handedAtMs[newest] <= kStallMs) {
    const int oldest = RingAt(stream, stream->placing - 1);
    const double spanMs = stream->handedAtMs[newest] - stream->handedAtMs[oldest];
    if (spanMs >= kRateSpanMs) {
      place.rate = std::clamp(
          FramesMs(stream->handedFrames[newest] - stream->handedFrames[oldest]) / spanMs, 0.5, 1.5);
      double sum = 0;  // ms at clockMs
      int used = 0;
      for (int back = 0; back < stream->placing; ++back) {
        const int i = RingAt(stream, back);
        const double agoMs = clockMs - stream->handedAtMs[i];
        if (agoMs < 0) continue;
        if (agoMs > kLineMs) break;
        sum += FramesMs(stream->handedFrames[i]) + agoMs * place.rate;
        ++used;
      }
      // With no recent hand-over (the output is late) the latest one alone places it.
      if (used > 0) place.positionMs = std::min(sum / used, endMs);
    }
  }
  return place;
}

struct HeardPlace {
  double positionMs;  // where the stream is heard now, under the stall rule
  double rate;        // the output's ms per steady ms
};

// Where the stream is heard now: where it goes out less the output's delay, held to
// the stall rule. On the silent output, real time since play.
HeardPlace Heard(FSOUND_STREAM* stream, double nowMs) {
  if (!audible) return {nowMs - stream->playMs, 1.0};
  const OutputTime time = ReadOutputTime();
  std::lock_guard<std::mutex> hold(clockLock);
  LookAtOutput(stream, time.clockMs, nowMs);
  const OutputPlace place = PlaceOutput(stream, time.clockMs);
  const double heardMs = std::max(place.positionMs - time.delayMs, 0.0);
  return {StallPosition(stream->stall, heardMs, nowMs), place.rate};
}

bool CheckStreamFile(const char* path) {
  if (!initialised) return Fail(FMOD_ERR_UNINITIALIZED);
  struct stat info{};
  if (!path || stat(path, &info) != 0)
    return Fail(errno == ENOENT || errno == ENOTDIR || !path ? FMOD_ERR_FILE_NOTFOUND
                                                             : FMOD_ERR_FILE_BAD);
  if (!S_ISREG(info.st_mode)) return Fail(FMOD_ERR_FILE_BAD);
  return true;
}

}  // namespace

namespace fsound {

double SteadyMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

bool FeedOutput(void* out, int frames, double atMs) {
  FSOUND_STREAM* stream = current.load();
  if (!stream) return false;
  const double nowMs = SteadyMs();
  const OutputTime time = ReadOutputTime();
  // After a stall the sound skips to where the position has got by the time this
  // buffer is heard (an output first plays what it holds).
  int64_t skipped = 0;
  {
    std::lock_guard<std::mutex> hold(clockLock);
    LookAtOutput(stream, time.clockMs, nowMs);
    const double inMs = std::max(0.0, atMs - time.clockMs) + time.delayMs;
    const double skipMs = SkipAfterStall(stream->stall, FramesMs(stream->framesHanded), nowMs, inMs);
    skipped = static_cast<int64_t>(skipMs * spec.rate / 1000.0);
  }
  for (int64_t left = skipped; left > 0 && !stream->ended;) {
    const int chunk = static_cast<int>(std::min<int64_t>(left, spec.bufferFrames));
    RenderStream(stream, nullptr, chunk);
    left -= chunk;
  }
  RenderStream(stream, out, frames);
  std::lock_guard<std::mutex> hold(clockLock);
  stream->framesHanded += skipped;
  // The output's first request comes as it starts, not at its pace, and a skip breaks
  // the line: neither places the output.
  if (skipped > 0 || stream->handOvers == 1) stream->placing = 0;
  const int i = stream->handedNext;
  stream->handedFrames[i] = stream->framesHanded;
  stream->handedAtMs[i] = atMs;
  stream->handedLength[i] = frames;
  stream->handedNext = (i + 1) % FSOUND_STREAM::kHandOvers;
  stream->handedCount = std::min(stream->handedCount + 1, FSOUND_STREAM::kHandOvers);
  stream->placing = std::min(stream->placing + 1, FSOUND_STREAM::kHandOvers);
  ++stream->handOvers;
  stream->framesHanded += frames;
  // An output without a clock of its own moves on until a buffer past its request.
  if (!spec.ownClock) OutputMoved(stream->stall, nowMs + FramesMs(frames));
  return true;
}

size_t DecodeStream(FSOUND_STREAM* stream, void* into, size_t bytes) {
  if (stream->ended) return 0;
  size_t done = 0;
  const int result = mpg123_read(stream->decoder, into, bytes, &done);
  // The end of the file, or a damaged stream, ends the music: silence follows.
  if (result != MPG123_OK && result != MPG123_NEW_FORMAT && done == 0) stream->ended = true;
  return done;
}

mpg123_handle* StreamDecoder(FSOUND_STREAM* stream) { return stream->decoder; }
OutputStream* StreamOutput(FSOUND_STREAM* stream) { return stream->output; }
bool StreamEnded(FSOUND_STREAM* stream) { return stream->ended; }

}  // namespace fsound

bool FSOUND_SetOutput(int newOutput) {
  if (initialised) return Fail(FMOD_ERR_BUSY);
  if (newOutput != FSOUND_OUTPUT_NOSOUND && newOutput != FSOUND_OUTPUT_AUDIBLE)
    return Fail(FMOD_ERR_INVALID_PARAM);
  output = newOutput;
  return true;
}

bool FSOUND_SetDriver(int driver) {
  if (initialised) return Fail(FMOD_ERR_BUSY);
  if (driver != 0) return Fail(FMOD_ERR_INVALID_PARAM);
  return true;
}

bool FSOUND_Init(int mixRate, int maxChannels, unsigned int) {
  if (initialised) return Fail(FMOD_ERR_BUSY);
  if (mixRate != 44100 || maxChannels < 1) return Fail(FMOD_ERR_INVALID_PARAM);
  audible = false;
  spec = OutputSpec{};
  if (output == FSOUND_OUTPUT_AUDIBLE) {
    if (!OpenOutput(spec)) return Fail(FMOD_ERR_INIT);
    audible = true;
  }
  initialised = true;
  lastError = FMOD_ERR_NONE;
  return true;
}

int FSOUND_GetError() { return lastError; }

bool FSOUND_Stream_SetBufferSize(int ms) {
  if (ms < 0) return Fail(FMOD_ERR_INVALID_PARAM);
  return true;
}

FSOUND_STREAM* FSOUND_Stream_OpenFile(const char* path, unsigned int, int) {
  if (!CheckStreamFile(path)) return nullptr;
  // A quiet, gapless decoder: where the file's tag states the encoder's delay and
  // padding, they are cut, so the first sample played is the first one composed.
  mpg123_handle* decoder = mpg123_new(nullptr, nullptr);
  if (!decoder) return Fail(FMOD_ERR_MEMORY), nullptr;
  mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
  mpg123_format_none(decoder);
  OfferFormats(decoder);
  if (mpg123_open(decoder, path) != MPG123_OK) {
    mpg123_delete(decoder);
    return Fail(FMOD_ERR_FILE_BAD), nullptr;
  }
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  if (mpg123_getformat(decoder, &rate, &channels, &encoding) != MPG123_OK) {
    mpg123_delete(decoder);
    return Fail(FMOD_ERR_FILE_FORMAT), nullptr;
  }
  // The format stays fixed from here on, and so does the output's conversion.
  mpg123_format_none(decoder);
  mpg123_format(decoder, rate, channels, encoding);
  int error = FMOD_ERR_NONE;
  OutputStream* converter = NewOutputStream(decoder, rate, channels, encoding, &error);
  if (error != FMOD_ERR_NONE) {
    mpg123_delete(decoder);
    return Fail(error), nullptr;
  }
  auto* stream = new FSOUND_STREAM;
  stream->decoder = decoder;
  stream->output = converter;
  lastError = FMOD_ERR_NONE;
  return stream;
}

int FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream) {
  if (!initialised) return Fail(FMOD_ERR_UNINITIALIZED), -1;
  if (!stream || channel < -1) return Fail(FMOD_ERR_INVALID_PARAM), -1;
  if (stream->playing) return 0;
  {
    std::lock_guard<std::mutex> hold(clockLock);
    stream->playMs = SteadyMs();
    stream->playing = true;
    StartStallClock(stream->stall, stream->playMs);
    current = stream;
  }
  if (audible) {
    StartOutput();
    // Returns once the stream's first sound is heard (an output first plays out the
    // silence it already holds), or once the output has stood still past the stall
    // limit: the first frame a caller draws is the first of the sound, and the picture
    // does not stop a few frames in to wait for it.
    while (Heard(stream, SteadyMs()).positionMs <= 0.0 && SteadyMs() - stream->playMs < kStallMs)
      AwaitOutput(1);
  }
  return 0;
}

int32_t FSOUND_Stream_GetTime(FSOUND_STREAM* stream) {
  if (!stream) return Fail(FMOD_ERR_INVALID_PARAM), 0;
  if (!stream->playing) return 0;
  const double nowMs = SteadyMs();
  const HeardPlace heard = Heard(stream, nowMs);
  const double target = std::max(0.0, heard.positionMs);
  double position = target;
  // An output without a clock of its own reports in bursts: the position runs at its
  // rate, steered towards it, so it never jumps. The gap is measured from where the
  // position stands at this read, so pauses between reads do not push it ahead.
  if (stream->hasRead && audible && !spec.ownClock) {
    const double bufferMs = FramesMs(spec.bufferFrames);
    const double elapsed = nowMs - stream->lastReadAt;
    const double gap = target - (stream->lastReadMs + elapsed * heard.rate);
    const double most = std::abs(gap) > bufferMs ? kCatchUp : kMaxSteer;
    const double steer = std::clamp(gap / kSteerMs, -most, most);
    position = stream->lastReadMs + elapsed * heard.rate * (1.0 + steer);
    position = std::min(position, target + bufferMs);
  }
  position = std::max(position, stream->lastReadMs);
  stream->hasRead = true;
  stream->lastReadMs = position;
  stream->lastReadAt = nowMs;
  return static_cast<int32_t>(std::min(position, 2147483647.0));
}

double OutputDelayMs() { return audible ? ReadOutputTime().delayMs : 0.0; }

bool FSOUND_Stream_Close(FSOUND_STREAM* stream) {
  if (!stream) return Fail(FMOD_ERR_INVALID_PARAM);
  if (audible) HoldOutput();
  if (current == stream) current = nullptr;
  if (audible) ReleaseOutput();
  mpg123_delete(stream->decoder);
  DeleteOutputStream(stream->output);
  delete stream;
  return true;
}

void FSOUND_Close() {
  if (!initialised) return;
  if (audible) CloseOutput();
  audible = false;
  current = nullptr;
  initialised = false;
}

}  // namespace music
