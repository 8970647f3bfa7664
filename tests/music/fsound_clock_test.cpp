// The stall rule's times (fsound_clock.h), on the steady clock and the stream's ms: the
// position runs on from the end of the wait, and the sound rejoins it where it will be
// when that sound is heard.
#include <gtest/gtest.h>

#include "music/fsound_clock.h"

namespace {

using namespace music::fsound;

TEST(StallRule, RunsOnFromTheEndOfTheWaitAndSkipsTheSoundToWhereItWillBeHeard) {
  StallClock clock;
  StartStallClock(clock, 0);
  OutputMoved(clock, 1000);  // the output last moves at 1 s, 900 ms into the stream
  EXPECT_DOUBLE_EQ(StallPosition(clock, 900, 1000), 900);
  EXPECT_DOUBLE_EQ(StallPosition(clock, 900, 3900), 900);  // waited for, 3 s at most
  EXPECT_DOUBLE_EQ(StallPosition(clock, 900, 4100), 1000);  // then on from there, no jump
  // It moves again at 5 s, when the position has got to 1900. Sound it asks for then is
  // heard 20 ms later: 1920 must come next, 1020 ms past the 900 handed over so far.
  OutputMoved(clock, 5000);
  EXPECT_DOUBLE_EQ(SkipAfterStall(clock, 900, 5000, 20), 1020);
}

}  // namespace
