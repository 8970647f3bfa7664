// The FSOUND_* layer in a web page: libmpg123 decodes the stream as Web Audio asks
// for it (a script processor on the page's audio context), and the position follows
// the context's clock of what is heard: each buffer handed over is stamped with the
// context time at which it plays, so the stream's time at the output is known to the
// sample, whatever the page's main thread was doing.
#include <emscripten.h>
#include <mpg123.h>

#include <algorithm>
#include <cstring>

#include "music/fsound.h"
#include "music/fsound_clock.h"
#include "music/fsound_state.h"

namespace music {

using namespace fsound;

struct FSOUND_STREAM {
  mpg123_handle* decoder = nullptr;
  bool playing = false;
  bool ended = false;  // the decoder has no more samples; silence follows
  double playMs = 0;   // page time of play

  // The latest buffers handed to the context: the stream frame each begins with and
  // the context time (s) at which it plays.
  static constexpr int kAnchors = 8;
  int64_t anchorFrames[kAnchors] = {};
  double anchorTimes[kAnchors] = {};
  int anchorCount = 0;
  int64_t framesHanded = 0;

  // The reader's position and the context's progress, for the stall rule.
  double lastReadMs = 0;
  double lastHeard = -1;  // context time at the previous read
  StallClock stall;
};

namespace {

constexpr int kBufferFrames = 4096;  // a script processor buffer: 93 ms at 44.1 kHz
// The page makes its audio context when Go! is pressed, two seconds of loading before
// the sound system starts: a context that is not running a second after that cannot
// start (a browser that refuses it sound, an output that does not open).
constexpr int kStartWaitMs = 1000;

bool audible = false;     // a context plays the stream
int contextRate = 44100;  // the context's sample rate, which the decoder delivers
FSOUND_STREAM* current = nullptr;
float planes[2][kBufferFrames];

// The page's audio context (the page makes it when Go! is pressed with Music ticked:
// only a user's action lets a page start sound) with a script processor feeding it;
// its sample rate, or 0 when there is none.
EM_JS(int, OpenContext, (int bufferFrames), {
  try {
    const context = Module['audioContext'];
    if (!context) return 0;
    const node = context.createScriptProcessor(bufferFrames, 0, 2);
    node.onaudioprocess = (event) => {
      const out = event.outputBuffer;
      const planes = Module['_fsound_web_fill'](out.length, event.playbackTime);
      out.copyToChannel(HEAPF32.subarray(planes >> 2, (planes >> 2) + out.length), 0);
      out.copyToChannel(
          HEAPF32.subarray((planes >> 2) + bufferFrames, (planes >> 2) + bufferFrames + out.length),
          1);
    };
    node.connect(context.destination);
    Module['audioNode'] = node;
    if (context.state !== 'running') context.resume();
    return context.sampleRate | 0;
  } catch (error) {
    console.error(error);
    return 0;
  }
});

// Whether the page's audio context runs, waiting up to `waitMs` for it to start.
EM_ASYNC_JS(int, StartContext, (int waitMs), {
  const context = Module['audioContext'];
  if (!context) return 0;
  if (context.state !== 'running') {
    await Promise.race([context.resume().catch(() => {}),
                        new Promise(resolve => setTimeout(resolve, waitMs))]);
  }
  return context.state === 'running' ? 1 : 0;
});

EM_JS(void, CloseContext, (), {
  const node = Module['audioNode'];
  if (node) {
    node.onaudioprocess = null;
    node.disconnect();
  }
  Module['audioNode'] = null;
});

// The context time (s) of the sound at the output now: the context's own timestamp
// of what it outputs, carried forward on the page's clock between its updates (a few
// ms apart while it plays; not at all while it is suspended, at most 50 ms when its
// output stalls).
EM_JS(double, HeardContextTime, (), {
  const context = Module['audioContext'];
  if (!context) return -1;
  if (context.getOutputTimestamp) {
    const stamp = context.getOutputTimestamp();
    if (stamp.performanceTime > 0) {
      const since = context.state === 'running' ? performance.now() - stamp.performanceTime : 0;
      return stamp.contextTime + Math.min(Math.max(since, 0), 50) / 1000;
    }
  }
  return context.currentTime - (context.outputLatency || context.baseLatency || 0);
});

EM_ASYNC_JS(void, Pause, (int ms), {
  await new Promise(resolve => setTimeout(resolve, ms));
});

void Decode(FSOUND_STREAM* stream, int frames) {
  float interleaved[2 * kBufferFrames];
  size_t got = 0;
  const size_t wanted = size_t(frames) * 2 * sizeof(float);
  while (!stream->ended && got < wanted) {
    size_t done = 0;
    const int result = mpg123_read(stream->decoder, reinterpret_cast<unsigned char*>(interleaved) + got,
                                   wanted - got, &done);
    got += done;
    // The end of the file, or a damaged stream, ends the music: silence follows.
    if (result != MPG123_OK && result != MPG123_NEW_FORMAT && done == 0) stream->ended = true;
  }
  const int filled = static_cast<int>(got / (2 * sizeof(float)));
  for (int i = 0; i < frames; ++i) {
    planes[0][i] = i < filled ? interleaved[2 * i] : 0.0f;
    planes[1][i] = i < filled ? interleaved[2 * i + 1] : 0.0f;
  }
}

// Decodes and drops the given number of frames.
void SkipStream(FSOUND_STREAM* stream, int64_t frames) {
  for (; frames > 0 && !stream->ended; frames -= kBufferFrames)
    Decode(stream, static_cast<int>(std::min<int64_t>(frames, kBufferFrames)));
}

// Where the stream is at the output by the context, in ms; negative before its
// first sound.
double ContextPositionMs(FSOUND_STREAM* stream, double heard) {
  if (stream->anchorCount == 0) return -1;
  // The latest buffer already playing (or the earliest one, before any plays).
  int newest = stream->anchorCount - 1;
  int at = 0;
  for (int i = 0; i <= newest; ++i)
    if (stream->anchorTimes[i] <= heard) at = i;
  const double intoBuffer = (heard - stream->anchorTimes[at]) * contextRate;
  // Past the last buffer handed over the context plays silence: the stream waits.
  const double frames =
      stream->anchorFrames[at] + std::min(intoBuffer, double(kBufferFrames));
  return frames * 1000.0 / contextRate;
}

}  // namespace

bool FSOUND_Init(int mixRate, int maxChannels, unsigned int) {
  if (!CheckInit(mixRate, maxChannels)) return false;
  audible = false;
  if (output == FSOUND_OUTPUT_AUDIBLE) {
    if (!StartContext(kStartWaitMs)) return Fail(FMOD_ERR_INIT);
    contextRate = OpenContext(kBufferFrames);
    if (contextRate <= 0) return Fail(FMOD_ERR_INIT);
    audible = true;
  }
  initialised = true;
  lastError = FMOD_ERR_NONE;
  return true;
}

FSOUND_STREAM* FSOUND_Stream_OpenFile(const char* path, unsigned int, int) {
  // Float stereo at the context's rate (libmpg123 resamples a file of another rate).
  mpg123_handle* decoder = NewStreamDecoder(path, MPG123_FORCE_STEREO);
  if (!decoder) return nullptr;
  mpg123_format(decoder, contextRate, MPG123_STEREO, MPG123_ENC_FLOAT_32);
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_open(decoder, path) != MPG123_OK ||
      mpg123_getformat(decoder, &rate, &channels, &encoding) != MPG123_OK) {
    mpg123_delete(decoder);
    Fail(FMOD_ERR_FILE_BAD);
    return nullptr;
  }
  if (encoding != MPG123_ENC_FLOAT_32 || channels != 2) {
    mpg123_delete(decoder);
    Fail(FMOD_ERR_FILE_FORMAT);
    return nullptr;
  }
  auto* stream = new FSOUND_STREAM;
  stream->decoder = decoder;
  lastError = FMOD_ERR_NONE;
  return stream;
}

int FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream) {
  if (!initialised) return Fail(FMOD_ERR_UNINITIALIZED), -1;
  if (!stream || channel < -1) return Fail(FMOD_ERR_INVALID_PARAM), -1;
  if (stream->playing) return 0;
  stream->playing = true;
  stream->playMs = emscripten_get_now();
  StartStallClock(stream->stall, stream->playMs);
  current = stream;
  // Returns once the stream's first sound is heard, or once the context has stood
  // still past the stall limit, so the first frame drawn is the first of the sound.
  if (audible) {
    while (FSOUND_Stream_GetTime(stream) <= 0 && emscripten_get_now() - stream->playMs < kStallMs)
      Pause(1);
  }
  return 0;
}

int32_t FSOUND_Stream_GetTime(FSOUND_STREAM* stream) {
  if (!stream) return Fail(FMOD_ERR_INVALID_PARAM), 0;
  if (!stream->playing) return 0;
  const double now = emscripten_get_now();
  double position = now - stream->playMs;
  if (audible) {
    const double heard = HeardContextTime();
    if (heard != stream->lastHeard) {
      stream->lastHeard = heard;
      OutputMoved(stream->stall, now);
    }
    position = StallPosition(stream->stall, std::max(ContextPositionMs(stream, heard), 0.0), now);
  }
  position = std::max({position, stream->lastReadMs, 0.0});
  stream->lastReadMs = position;
  return static_cast<int32_t>(std::min(position, 2147483647.0));
}

bool FSOUND_Stream_Close(FSOUND_STREAM* stream) {
  if (!stream) return Fail(FMOD_ERR_INVALID_PARAM);
  if (current == stream) current = nullptr;
  mpg123_delete(stream->decoder);
  delete stream;
  return true;
}

void FSOUND_Close() {
  if (!initialised) return;
  if (audible) CloseContext();
  audible = false;
  current = nullptr;
  initialised = false;
}

}  // namespace music

// The script processor's request for the next buffer, which plays at context time
// `playsAt` (s): returns the two channel planes (kBufferFrames floats apart).
extern "C" EMSCRIPTEN_KEEPALIVE float* fsound_web_fill(int frames, double playsAt) {
  using namespace music;
  frames = std::clamp(frames, 0, kBufferFrames);
  FSOUND_STREAM* stream = current;
  if (!stream) {
    std::memset(planes, 0, sizeof planes);
    return planes[0];
  }
  // A context that asks for sound is moving, whether or not the picture reads the
  // position (a hidden page draws nothing). After a stall the sound skips to where
  // the picture will be when this plays.
  const double now = emscripten_get_now();
  const double heard = HeardContextTime();
  if (heard != stream->lastHeard) {
    stream->lastHeard = heard;
    OutputMoved(stream->stall, now);
  }
  const double inMs = std::max(0.0, playsAt - heard) * 1000.0;
  const double skipMs =
      SkipAfterStall(stream->stall, stream->framesHanded * 1000.0 / contextRate, now, inMs);
  const auto skipped = static_cast<int64_t>(skipMs * contextRate / 1000.0);
  SkipStream(stream, skipped);
  stream->framesHanded += skipped;
  Decode(stream, frames);
  if (stream->anchorCount == FSOUND_STREAM::kAnchors) {
    std::memmove(stream->anchorFrames, stream->anchorFrames + 1,
                 sizeof(int64_t) * (FSOUND_STREAM::kAnchors - 1));
    std::memmove(stream->anchorTimes, stream->anchorTimes + 1,
                 sizeof(double) * (FSOUND_STREAM::kAnchors - 1));
    --stream->anchorCount;
  }
  stream->anchorFrames[stream->anchorCount] = stream->framesHanded;
  stream->anchorTimes[stream->anchorCount] = playsAt;
  ++stream->anchorCount;
  stream->framesHanded += frames;
  return planes[0];
}
