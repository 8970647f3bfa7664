// The driver's fixed table of 18 time windows, each naming one scene or overlay.
#pragma once

#include <array>
#include <cstdint>

namespace demo {

struct TimelineRow {
  bool HasLowerBound;  // row 1 runs for every clock up to its last ms
  int32_t FirstMs;     // inclusive
  int32_t LastMs;      // inclusive
  void (*Routine)();
  const char* Name;
};

extern const std::array<TimelineRow, 18> Timeline;

// Whether the row's window contains clock (signed, inclusive at both ends).
bool RowContains(const TimelineRow& row, int32_t clock);

// Stores clock as the frame's SceneClock and calls, top to bottom, every routine
// whose window contains it. Draws one frame into the current context.
void DrawTimelineFrame(int32_t clock);

// The same at a one-pixel viewport with colour and depth writes off, for a frame
// nobody sees: the scenes clear every frame and keep their motion on the CPU, so this
// advances the motion exactly without paying for the pixels. The viewport is width x
// height and the writes are on again afterwards.
void DrawUnseenTimelineFrame(int32_t clock, int32_t width, int32_t height);

// The same with the writes on: one pixel is drawn as the frame would draw it, so a
// renderer prepares all of the frame's drawing paths (the warm-up).
void DrawOnePixelTimelineFrame(int32_t clock, int32_t width, int32_t height);

}  // namespace demo
