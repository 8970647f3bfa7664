// The page's frame loop. A page shows a frame only when it returns to the browser, at
// the display's refresh (60, 120, 144 Hz ...), so each refresh runs every frame routine
// that is due and presents the last of them.
#include <algorithm>
#include <chrono>

#include "demo/driver.h"
#include "demo/frame_stats.h"
#include "demo/picture_lead.h"
#include "demo/settings.h"
#include "demo/timeline.h"
#include "framework/particle/random.h"
#include "framework/window/window.h"
#include "music/music.h"

namespace demo {

namespace {

// Stepped frames (the test page): exact multiples of kFramePaceMs from a fixed seed, as
// the offline renderer draws them, up to a clock the test moves on.
bool stepped = false;
uint32_t steppedSeed = 1;
int32_t steppedHoldMs = 0;  // on the grid: the frame lumetra-render --at shows
int32_t lastFrameClock = -1;

// A frame's clock: the music as heard when the frame is on screen (picture_lead.h).
// Stepped frames go straight to the hold, as lumetra-render --at does: every 15 ms
// step before it runs unseen at the next refresh, and the hold's frame is shown.
int32_t ReadClock(PictureLead& lead) {
  if (stepped) return steppedHoldMs;
  return FrameClock(lead, music::StreamPosition());
}

}  // namespace

// One frame routine per kFramePaceMs of the frame clock, as on the desktop at its pacing
// limit: those overdue at the clock they were due (unseen), the last at the clock read,
// so the motion keeps its speed whatever the display's rate. A machine too slow for
// that runs at most kMostFramesPerRefresh and lets the rest go, so the page stays
// responsive and the motion slows, as a slow desktop's does.
constexpr int kMostFramesPerRefresh = 8;

void RunFrameLoop() {
  if (stepped) particle::SeedRandom(steppedSeed);
  // A frame's way to the screen is from its clock read to when its picture is shown,
  // which the window unit tells some refreshes later.
  PictureLead lead;
  FramesInFlight inFlight;
  int64_t due = 0;  // clock of the next frame routine
  while (window::Running) {
    const auto started = std::chrono::steady_clock::now();
    const int32_t now = ReadClock(lead);
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
    const uint32_t swapped = window::PicturesSwapped();
    window::SwapFrame();
    if (clock >= 0) {
      const uint32_t number = window::PicturesSwapped();
      if (number != swapped && !stepped) inFlight.Swapped(number, SteadyMs(started));
      NoteFramePresented(clock, started, std::chrono::steady_clock::now(), lead);
    }
    uint32_t number = 0;
    for (double shownMs = 0; window::TakeShownPicture(&number, &shownMs);)
      inFlight.Shown(lead, number, shownMs);
  }
}

void StepFrames(uint32_t seed, int32_t holdMs) {
  stepped = true;
  steppedSeed = seed;
  steppedHoldMs = holdMs - holdMs % kFramePaceMs;
}

int32_t LastFrameClock() { return lastFrameClock; }

}  // namespace demo
