// The FSOUND_* front's output in a web page: a script processor on the page's audio
// context asks for the stream as Web Audio needs it, each buffer stamped with the
// context time at which it plays; the context's own clock and the delay its engine
// reports after it say which of that time is heard now, whatever the page's main
// thread was doing.
#include <emscripten.h>
#include <mpg123.h>

#include <algorithm>
#include <cstring>

#include "music/fsound.h"
#include "music/fsound_output.h"

namespace music::fsound {

namespace {

constexpr int kBufferFrames = 4096;  // a script processor buffer: 93 ms at 44.1 kHz
// The page makes its audio context when Go! is pressed, two seconds of loading before
// the sound system starts: a context that is not running a second after that cannot
// start (a browser that refuses it sound, an output that does not open).
constexpr int kStartWaitMs = 1000;

int contextRate = 44100;  // the context's sample rate, which the decoder delivers
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

// The context's time now and the delay after it until its sound is heard (ms), into
// `time`: the context's current time, less what is heard now by the engine's own
// reports. The output timestamp names the context time heard at a page time, carried
// forward here on the page's clock (not at all while the context is suspended, at most
// 50 ms when its output stalls). Engines differ in what it holds: Chromium's is heard
// as it says (the output's delay counted); Firefox's is the current time and the page
// time both moved back by the output latency, so it counts none of that delay, which
// its outputLatency then gives; WebKit's page time runs ahead of the page's clock, so
// it says nothing. A stamp counts the delay when it places the sound behind the current
// time by more than it places the page time behind now; otherwise the output and base
// latencies are the delay (the timers of a page may be coarse by a millisecond or two).
EM_JS(void, ReadContextTime, (double* time), {
  const context = Module['audioContext'];
  const at = time >> 3;
  if (!context) {
    HEAPF64[at] = HEAPF64[at + 1] = 0;
    return;
  }
  const now = performance.now();
  const current = context.currentTime * 1000;
  let heard = current - 1000 * ((context.outputLatency || 0) + (context.baseLatency || 0));
  if (context.getOutputTimestamp) {
    const stamp = context.getOutputTimestamp();
    const age = now - stamp.performanceTime;
    if (stamp.performanceTime > 0 && age >= 0) {
      const behind = current - stamp.contextTime * 1000;
      if (behind - age > 5) Module['outputStampHeard'] = true;
      if (Module['outputStampHeard'])
        heard = stamp.contextTime * 1000 + (context.state === 'running' ? Math.min(age, 50) : 0);
    }
  }
  HEAPF64[at] = current;
  HEAPF64[at + 1] = Math.max(current - heard, 0);
});

EM_ASYNC_JS(void, Pause, (int ms), {
  await new Promise(resolve => setTimeout(resolve, ms));
});

}  // namespace

bool OpenOutput(OutputSpec& spec) {
  if (!StartContext(kStartWaitMs)) return false;
  contextRate = OpenContext(kBufferFrames);
  if (contextRate <= 0) return false;
  spec.rate = contextRate;
  spec.bufferFrames = kBufferFrames;
  spec.ownClock = true;
  return true;
}

void CloseOutput() { CloseContext(); }

void StartOutput() {}
void HoldOutput() {}
void ReleaseOutput() {}

OutputTime ReadOutputTime() {
  double time[2];
  ReadContextTime(time);
  return {time[0], time[1]};
}

void AwaitOutput(int ms) { Pause(ms); }

// Float stereo at the context's rate (libmpg123 resamples a file of another rate).
void OfferFormats(mpg123_handle* decoder) {
  mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_FORCE_STEREO, 0);
  mpg123_format(decoder, contextRate, MPG123_STEREO, MPG123_ENC_FLOAT_32);
}

OutputStream* NewOutputStream(mpg123_handle*, long, int channels, int encoding, int* error) {
  if (encoding != MPG123_ENC_FLOAT_32 || channels != 2) *error = FMOD_ERR_FILE_FORMAT;
  return nullptr;
}

void DeleteOutputStream(OutputStream*) {}

void RenderStream(FSOUND_STREAM* stream, void* out, int frames) {
  float interleaved[2 * kBufferFrames];
  frames = std::min(frames, kBufferFrames);
  size_t got = 0;
  const size_t wanted = size_t(frames) * 2 * sizeof(float);
  while (!StreamEnded(stream) && got < wanted)
    got += DecodeStream(stream, reinterpret_cast<unsigned char*>(interleaved) + got, wanted - got);
  if (!out) return;
  const int filled = static_cast<int>(got / (2 * sizeof(float)));
  auto* channels = static_cast<float(*)[kBufferFrames]>(out);
  for (int i = 0; i < frames; ++i) {
    channels[0][i] = i < filled ? interleaved[2 * i] : 0.0f;
    channels[1][i] = i < filled ? interleaved[2 * i + 1] : 0.0f;
  }
}

}  // namespace music::fsound

// The script processor's request for the next buffer, which plays at context time
// `playsAt` (s): returns the two channel planes (kBufferFrames floats apart).
extern "C" EMSCRIPTEN_KEEPALIVE float* fsound_web_fill(int frames, double playsAt) {
  using namespace music::fsound;
  frames = std::clamp(frames, 0, kBufferFrames);
  if (!FeedOutput(planes, frames, playsAt * 1000.0)) std::memset(planes, 0, sizeof planes);
  return planes[0];
}
