// The picture's lead: how far past the music heard now a frame's clock is set, so the
// frame shows the moment heard while it is on screen. Measured as the run goes from the
// frames' own times (a frame's clock read, and when it is shown: the desktop's swap
// returning, a page's refresh that shows it), smoothed over recent frames, and moved
// slowly, so the clock made with it stays smooth. Times are steady ms.
#pragma once

#include <chrono>
#include <cstdint>

namespace demo {

// A steady time point in ms, the unit the lead is measured in.
inline double SteadyMs(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double, std::milli>(t.time_since_epoch()).count();
}

struct PictureLead {
  static constexpr int kRecent = 15;  // frames the terms are the medians of
  double ways[kRecent] = {};          // clock read to shown, ms
  double intervals[kRecent] = {};     // shown to the next shown, ms
  int wayCount = 0;
  int intervalCount = 0;
  int next = 0;                       // ring position of the next way
  int nextInterval = 0;
  double lastShownMs = 0;
  double lastAtMs = 0;                // when leadMs last moved
  double leadMs = 0;                  // the lead in force
  int64_t lastClock = INT64_MIN;      // the latest clock given
};

// A frame whose clock was read at `readMs` was shown at `shownMs`.
void NoteFrameShown(PictureLead& lead, double readMs, double shownMs);

// The way to the screen: the median time from a recent frame's clock read to its showing.
double WayToScreenMs(const PictureLead& lead);
// Half the median interval between recent frames shown.
double HalfFrameMs(const PictureLead& lead);

// Frames swapped and not yet known to be shown (a compositor or a page tells some
// frames later): their picture's number and clock read, kept until they are.
class FramesInFlight {
 public:
  void Swapped(uint32_t number, double readMs) { frames_[number % kCount] = {number, readMs}; }
  // Picture `number` was shown at `shownMs`: its frame's way goes into the lead.
  void Shown(PictureLead& lead, uint32_t number, double shownMs) {
    const Frame& frame = frames_[number % kCount];
    if (frame.number == number) NoteFrameShown(lead, frame.readMs, shownMs);
  }

 private:
  static constexpr uint32_t kCount = 64;
  struct Frame {
    uint32_t number;
    double readMs;
  };
  Frame frames_[kCount] = {};
};

// The clock of a frame whose read finds `heardMs` of music heard: that plus the lead in
// force, never below the previous frame's.
int32_t FrameClock(PictureLead& lead, int32_t heardMs);
// The same clock, without moving the frame's: what the frame loop's wait compares.
int64_t ClockAt(const PictureLead& lead, int32_t heardMs);

}  // namespace demo
