// The driver's pieces that need no dialog: the loading and release steps (which the
// offline renderer uses without a window or music) and the frame loop. The whole run,
// dialog included, is the program's main.
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

// Runs frames while window::Running: one event, one clock read, the timeline, the
// swap, the end above kEndMs, and the wait for kFramePaceMs of stream time.
void RunFrameLoop();

}  // namespace demo
