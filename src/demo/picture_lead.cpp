#include "demo/picture_lead.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace demo {

namespace {

// The lead moves towards its measure by at most 2 % of the time between frames (a
// stall's long frame counts as 100 ms), so a frame's clock runs at most 2 % off the
// music while it settles.
constexpr double kSlew = 0.02;
constexpr double kLongestStepMs = 100.0;

double Median(const double* values, int count) {
  if (count == 0) return 0.0;
  double sorted[PictureLead::kRecent];
  for (int i = 0; i < count; ++i) {  // an insertion sort of a few values
    int j = i;
    for (; j > 0 && sorted[j - 1] > values[i]; --j) sorted[j] = sorted[j - 1];
    sorted[j] = values[i];
  }
  return count % 2 ? sorted[count / 2] : (sorted[count / 2 - 1] + sorted[count / 2]) / 2;
}

}  // namespace

double WayToScreenMs(const PictureLead& lead) { return Median(lead.ways, lead.wayCount); }

double HalfFrameMs(const PictureLead& lead) {
  return Median(lead.intervals, lead.intervalCount) / 2;
}

void NoteFrameShown(PictureLead& lead, double readMs, double shownMs) {
  const bool first = lead.wayCount == 0;
  if (!first) {
    lead.intervals[lead.nextInterval] = shownMs - lead.lastShownMs;
    lead.nextInterval = (lead.nextInterval + 1) % PictureLead::kRecent;
    lead.intervalCount = std::min(lead.intervalCount + 1, PictureLead::kRecent);
  }
  lead.ways[lead.next] = shownMs - readMs;
  lead.next = (lead.next + 1) % PictureLead::kRecent;
  lead.wayCount = std::min(lead.wayCount + 1, PictureLead::kRecent);
  lead.lastShownMs = shownMs;
  // A frame is on screen from its showing until the next one's, and it samples the
  // music once, at its clock read: a change of the music first shows in the frame
  // whose clock is up to one frame interval past it, half an interval on average. The
  // clock is therefore the music heard in the middle of the frame's time on screen:
  // heard now, plus the way to the screen, plus half the frame interval.
  const double target = WayToScreenMs(lead) + HalfFrameMs(lead);
  const double step = first ? 0.0 : kSlew * std::clamp(shownMs - lead.lastAtMs, 0.0, kLongestStepMs);
  lead.leadMs += std::clamp(target - lead.leadMs, -step, step);
  lead.lastAtMs = shownMs;
}

int64_t ClockAt(const PictureLead& lead, int32_t heardMs) {
  return std::llround(heardMs + lead.leadMs);
}

int32_t FrameClock(PictureLead& lead, int32_t heardMs) {
  lead.lastClock = std::max(lead.lastClock, ClockAt(lead, heardMs));
  return static_cast<int32_t>(std::min<int64_t>(lead.lastClock, std::numeric_limits<int32_t>::max()));
}

}  // namespace demo
