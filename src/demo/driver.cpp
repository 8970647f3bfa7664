// The desktop's frame loop: one frame routine, its swap, and the wait for the stream
// position to move on by kFramePaceMs.
#include "demo/driver.h"

#include <chrono>
#include <thread>

#include "demo/frame_stats.h"
#include "demo/timeline.h"
#include "framework/window/window.h"
#include "music/music.h"

#ifdef LUMETRA_TEST_HOOKS
#include "frame_hooks.h"
#endif

namespace demo {

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

}  // namespace demo
