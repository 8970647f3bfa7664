// The driver: start-up order, frame loop and shutdown order of the production.
#include "demo/driver.h"

#include <chrono>
#include <thread>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>

#include <algorithm>

#include "framework/particle/random.h"
#endif

#include "demo/frame_stats.h"
#include "demo/settings.h"
#include "demo/startup.h"
#include "demo/timeline.h"
#include "framework/window/window.h"
#include "music/music.h"

#ifdef LUMETRA_TEST_HOOKS
#include "frame_hooks.h"
#endif

namespace demo {

void LoadProduction() {
  BuildTables();
  LoadTextureBank();
  CreateParticlePool();
  ResetSceneGlobals();
}

void ReleaseProduction() {
  DestroyTextureBank();
  DestroyParticlePool();
}

#ifndef __EMSCRIPTEN__

void RunFrameLoop() {
  while (window::Running) {
    window::DispatchOneEvent();
#ifdef LUMETRA_TEST_HOOKS
    if (test_hooks::StepFrame()) continue;
#endif
    const auto started = std::chrono::steady_clock::now();
    const int32_t clock = music::StreamPosition();
    DrawTimelineFrame(clock);
    window::SwapFrame();
    NoteFramePresented(clock, started);
    if (clock > kEndMs) window::SendDestroy();
    // Pacing is a poll of the stream position; yielding lets other work run on a
    // busy machine without the coarse wake-ups of a sleep.
    while (music::StreamPosition() < static_cast<int64_t>(clock) + kFramePaceMs)
      std::this_thread::yield();
  }
}

#else

namespace {

// For the page's tests: frames at exact multiples of kFramePaceMs from a fixed seed,
// as the offline renderer draws them, up to a clock the test moves on.
bool stepped = false;
uint32_t steppedSeed = 1;
int32_t steppedHoldMs = 0;
int32_t lastFrameClock = -1;

int32_t ReadClock() {
  const int32_t position = music::StreamPosition();
  if (!stepped) return position;
  return std::min(steppedHoldMs, position - position % kFramePaceMs);
}

}  // namespace

// A page shows a frame only when it returns to the browser, at the display's refresh
// (60, 120, 144 Hz ...). Each refresh runs every frame routine that is due, one per
// kFramePaceMs of stream time as on the desktop at its pacing limit (those overdue at
// the clock they were due, the last at the clock read), and presents the last: the
// motion keeps its speed whatever the display's rate. A machine too slow for that
// runs at most kMostFramesPerRefresh and lets the rest go, so the page stays
// responsive and the motion slows, as a slow desktop's does.
constexpr int kMostFramesPerRefresh = 8;

void RunFrameLoop() {
  if (stepped) particle::SeedRandom(steppedSeed);
  int64_t due = 0;  // stream time of the next frame routine
  while (window::Running) {
    const auto started = std::chrono::steady_clock::now();
    const int32_t now = ReadClock();
    if (!stepped && now - due >= kMostFramesPerRefresh * kFramePaceMs)
      due = now - (kMostFramesPerRefresh - 1) * kFramePaceMs;
    int32_t clock = -1;
    while (window::Running && now >= due) {
      window::DispatchOneEvent();
      const bool shown = now - due < kFramePaceMs;
      clock = shown ? now : static_cast<int32_t>(due);
      if (shown)
        DrawTimelineFrame(clock);
      else
        DrawUnseenTimelineFrame(clock, Settings.Width, Settings.Height);
      NoteFrameRoutine();
      lastFrameClock = clock;
      if (clock > kEndMs) window::SendDestroy();
      due += kFramePaceMs;
    }
    window::SwapFrame();
    if (clock >= 0) NoteFramePresented(clock, started);
  }
}

extern "C" EMSCRIPTEN_KEEPALIVE void lumetra_step_frames(uint32_t seed, int32_t holdMs) {
  stepped = true;
  steppedSeed = seed;
  steppedHoldMs = holdMs;
}

extern "C" EMSCRIPTEN_KEEPALIVE int32_t lumetra_frame_clock() { return lastFrameClock; }

#endif

}  // namespace demo
