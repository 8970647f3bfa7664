// Run statistics for LUMETRA_STATS=1: the frame loop notes every presented frame and
// one short report goes to standard error when the program ends. Without the
// variable nothing is recorded or printed.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "framework/window/window.h"

namespace demo {

// A frame was presented; clock is the SceneClock it was drawn for (ms), read at
// started.
void NoteFramePresented(int32_t clock, std::chrono::steady_clock::time_point started);

// A frame routine ran (where several run before one is presented: the browser).
void NoteFrameRoutine();

// The picture's lead in force for the frame just presented, and its two terms: the way
// to the screen and half the frame interval (picture_lead.h), ms.
void NotePictureLead(double leadMs, double wayMs, double halfFrameMs);

// The report's swap line after "swap interval": what was asked (0) and what is in
// force, and whether the driver refused the request (on a page: that there is none).
std::string SwapIntervalText(window::SwapControl swap);

}  // namespace demo
