#include "music/fsound_clock.h"

#include <algorithm>

namespace music::fsound {

namespace {

// Once the output plays again, the position leaves real time for the output's own
// when the sound is heard within a frame of it, or after a second in any case (a
// sound that cannot skip that far: the picture then waits for it as usual).
constexpr double kCaughtUpMs = 15.0;
constexpr double kRejoinMs = 1000.0;

void BeginRunOn(StallClock& clock) {
  if (clock.runningOn) return;
  clock.runningOn = true;
  clock.skipped = false;
  clock.resumed = false;
  clock.runFromMs = clock.lastMs;
  clock.runSinceMs = clock.movedAtMs + kStallMs;
}

double RunOnAt(const StallClock& clock, double atMs) {
  return clock.runFromMs + std::max(0.0, atMs - clock.runSinceMs);
}

}  // namespace

void StartStallClock(StallClock& clock, double nowMs) {
  clock = StallClock{};
  clock.movedAtMs = nowMs;
}

void OutputMoved(StallClock& clock, double nowMs) {
  clock.movedAtMs = std::max(clock.movedAtMs, nowMs);
  if (clock.runningOn && !clock.resumed) {
    clock.resumed = true;
    clock.resumedAtMs = nowMs;
  }
}

double StallPosition(StallClock& clock, double outputMs, double nowMs) {
  double position = outputMs;
  if (nowMs - clock.movedAtMs > kStallMs) {
    clock.lastMs = std::max(clock.lastMs, outputMs);
    BeginRunOn(clock);
  }
  if (clock.runningOn) {
    const double ranOn = RunOnAt(clock, nowMs);
    if (clock.resumed && (outputMs >= ranOn - kCaughtUpMs || nowMs - clock.resumedAtMs > kRejoinMs))
      clock.runningOn = false;
    else
      position = std::max(ranOn, outputMs);
  }
  clock.lastMs = position;
  return position;
}

double SkipAfterStall(StallClock& clock, double handedMs, double nowMs, double inMs) {
  if (nowMs - clock.movedAtMs > kStallMs) BeginRunOn(clock);
  if (!clock.runningOn || clock.skipped) return 0.0;
  clock.skipped = true;
  return std::max(0.0, RunOnAt(clock, nowMs + inMs) - handedMs);
}

}  // namespace music::fsound
