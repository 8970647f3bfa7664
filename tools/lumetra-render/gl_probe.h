// Counts the fragments that the scene code draws, split by texture mode, for the
// timing report. The tool defines the few GL entry points it needs to watch
// (glBegin, glCallList, glEnable, glBindTexture, glClear, ...) and forwards every
// call to Mesa; while counting it keeps one GL_SAMPLES_PASSED query open per run of
// draw calls in the same texture mode. The depth test is off throughout the
// production, so the queries count every fragment drawn.
#pragma once

#include <array>
#include <cstdint>

namespace render::probe {

enum Mode { Untextured, Linear, Mipmapped, ModeCount };
const char* ModeName(int mode);

using Counts = std::array<uint64_t, ModeCount>;

void BeginCounting();
void EndCounting();
// The fragments drawn between BeginCounting and EndCounting, per mode, and the number
// of glClear calls (waits for the GPU to finish).
Counts Fragments();
int32_t Clears();

}  // namespace render::probe
