// Run statistics for LUMETRA_STATS=1: the frame loop notes every presented frame and
// one short report goes to standard error when the program ends. Without the
// variable nothing is recorded or printed.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "demo/picture_lead.h"
#include "framework/window/window.h"

namespace demo {

// A frame was presented; clock is the SceneClock it was drawn for (ms), read at
// started and drawn to the end at drawn, with `lead` the picture's lead in force for it.
void NoteFramePresented(int32_t clock, std::chrono::steady_clock::time_point started,
                        std::chrono::steady_clock::time_point drawn, const PictureLead& lead);

// A frame routine ran (where several run before one is presented: the browser).
void NoteFrameRoutine();

// The report's line on how the pictures' times on screen were found (shown_time.h):
// each source with its count, and the pictures a compositor discarded.
std::string ShownSourcesText(const window::ShownCounts& counts);

// The report's swap line after "swap interval": what was asked (0) and what is in
// force, and whether the driver refused the request (on a page: that there is none).
std::string SwapIntervalText(window::SwapControl swap);

}  // namespace demo
