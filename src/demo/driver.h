// The driver's pieces that need no dialog: the loading and release steps (which the
// offline renderer uses without a window or music) and the frame loop, the desktop's
// in driver.cpp, the page's in driver_web.cpp. The whole run, dialog included, is the
// program's main.
#pragma once

#include <cstdint>

namespace demo {

constexpr int32_t kEndMs = 70000;   // the clock above which the run ends
constexpr int32_t kFramePaceMs = 15;  // stream time each frame lasts at least

// After the loading screen: the tables, the textures, the particle pool and the
// scene globals, in the driver's order.
void LoadProduction();

// The picture textures, then the particle pool (the canvas stays to the process end).
void ReleaseProduction();

// Runs frames while window::Running, and ends the run with the first frame above
// kEndMs. The desktop: one event, one clock read, the timeline, the swap, and the wait
// for kFramePaceMs of stream time. A page, which shows a frame only when it returns to
// the browser at the display's refresh: at each refresh, every frame routine that is
// due (one per kFramePaceMs of stream time, each after one event), and one swap.
void RunFrameLoop();

// A page's only, for its test build. Called before the run: its frames at exact
// multiples of kFramePaceMs from the random seed `seed`, as lumetra-render draws them,
// up to the one at holdMs; called during the run, they go on to the new holdMs.
void StepFrames(uint32_t seed, int32_t holdMs);

// A page's only: the clock of the last frame routine run, -1 before the first.
int32_t LastFrameClock();

}  // namespace demo
