// The LUMETRA_STATS report's swap line: what was asked and what is in force.
#include <gtest/gtest.h>

#include "demo/frame_stats.h"

TEST(FrameStats, TheSwapLineSaysWhatWasAskedAndWhatIsInForce) {
  EXPECT_EQ(demo::SwapIntervalText({0, false}), "asked 0, in force 0");
  EXPECT_EQ(demo::SwapIntervalText({0, true}),
            "asked 0, in force 0 (the driver refused the request and keeps its own)");
  EXPECT_EQ(demo::SwapIntervalText({1, true}),
            "asked 0, in force 1 (the driver refused the request and keeps its own); swaps "
            "wait for the display");
}
