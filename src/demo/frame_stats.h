// Run statistics for LUMETRA_STATS=1: the frame loop notes every presented frame and
// one short report goes to standard error when the program ends. Without the
// variable nothing is recorded or printed.
#pragma once

#include <chrono>
#include <cstdint>

namespace demo {

// A frame was presented; clock is the SceneClock it was drawn for (ms), read at
// started.
void NoteFramePresented(int32_t clock, std::chrono::steady_clock::time_point started);

}  // namespace demo
