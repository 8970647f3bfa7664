// The rule every output follows when it stops playing (a stopped sound server, a
// suspended audio context), shared by SDL2 audio (fsound.cpp) and Web Audio
// (fsound_web.cpp). The picture waits for the sound up to kStallMs; past that the
// position runs on real time, so a waiting frame loop never hangs. When the output
// plays again, its sound skips to where the position has got, and the position runs
// on real time until the sound is heard there: the picture never stands still for
// the sound, and the two are together again.
#pragma once

namespace music::fsound {

constexpr double kStallMs = 3000.0;

// One per playing stream. Times are steady ms; positions are ms of the stream.
struct StallClock {
  double movedAtMs = 0;     // when the output's position last moved (or play)
  bool runningOn = false;   // the position runs on real time, ahead of the output
  bool skipped = false;     // the sound has skipped to the position since the stall
  bool resumed = false;     // the output has moved again since
  double resumedAtMs = 0;   // when
  double runFromMs = 0;     // the position when it began to run on
  double runSinceMs = 0;    // and when
  double lastMs = 0;        // the position last given
};

// At play: the output has not moved yet, the position is 0.
void StartStallClock(StallClock& clock, double nowMs);

// The output's position moves at `nowMs` (it asked for sound, its clock advanced).
void OutputMoved(StallClock& clock, double nowMs);

// The stream's position at `nowMs`, from the output's own (what it has played, which
// stands still while it is stopped).
double StallPosition(StallClock& clock, double outputMs, double nowMs);

// Where the output asks for sound that begins at `handedMs` of the stream and is
// heard `inMs` from `nowMs`: the ms of the stream to skip first, so that sound is
// heard at the position (0 unless the position has run on past a stall).
double SkipAfterStall(StallClock& clock, double handedMs, double nowMs, double inMs);

}  // namespace music::fsound
