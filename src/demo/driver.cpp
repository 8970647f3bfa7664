// The desktop's frame loop: one frame routine, the wait for the stream position to
// move on by kFramePaceMs, and the swap.
#include "demo/driver.h"

#include <GL/gl.h>

#include <chrono>
#include <thread>

#include "demo/frame_stats.h"
#include "demo/picture_lead.h"
#include "demo/timeline.h"
#include "framework/window/window.h"
#include "music/music.h"

#ifdef LUMETRA_TEST_HOOKS
#include "frame_hooks.h"
#endif

namespace demo {

void RunFrameLoop() {
  // A frame's clock is the music as heard when the frame is on screen (picture_lead.h).
  PictureLead lead;
  FramesInFlight inFlight;
  while (window::Running) {
    window::DispatchOneEvent();
#ifdef LUMETRA_TEST_HOOKS
    if (test_hooks::StepFrame()) continue;
#endif
    const auto started = std::chrono::steady_clock::now();
    const int32_t clock = FrameClock(lead, music::StreamPosition());
    DrawTimelineFrame(clock);
    // The frame is drawn to the end (a software renderer draws at a flush) before the
    // wait and presented after it: frames reach the screen at the clock's steady pace,
    // whatever each one took to draw (the picture's lead counts the longer way).
    glFinish();
    const auto drawn = std::chrono::steady_clock::now();
    if (clock > kEndMs) window::SendDestroy();
    // Pacing is a poll of the stream position; yielding lets other work run on a
    // busy machine without the coarse wake-ups of a sleep.
    while (ClockAt(lead, music::StreamPosition()) < static_cast<int64_t>(clock) + kFramePaceMs)
      std::this_thread::yield();
    window::SwapFrame();
    inFlight.Swapped(window::PicturesSwapped(), SteadyMs(started));
    uint32_t number = 0;
    for (double shownMs = 0; window::TakeShownPicture(&number, &shownMs);)
      inFlight.Shown(lead, number, shownMs);
    NoteFramePresented(clock, started, drawn, lead);
  }
}

}  // namespace demo
