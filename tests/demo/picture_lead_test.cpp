// The picture's lead (picture_lead.h) from frames' synthetic read and show times.
#include <gtest/gtest.h>

#include "demo/picture_lead.h"

namespace {

using namespace demo;

TEST(PictureLead, IsTheWayToTheScreenAndHalfAFrameReachedSlowlyAndTheClockNeverGoesBack) {
  PictureLead lead;
  // Frames 16 ms apart, each shown 10 ms after its clock read: the lead sets out
  // towards 10 + 8 ms by 2 % of the time between frames.
  double at = 0;
  for (; at < 32; at += 16) NoteFrameShown(lead, at, at + 10);
  EXPECT_NEAR(lead.leadMs, 0.32, 1e-9);
  for (; at < 2000; at += 16) NoteFrameShown(lead, at, at + 10);
  EXPECT_DOUBLE_EQ(WayToScreenMs(lead), 10);
  EXPECT_DOUBLE_EQ(HalfFrameMs(lead), 8);
  EXPECT_DOUBLE_EQ(lead.leadMs, 18);
  EXPECT_EQ(FrameClock(lead, 1000), 1018);
  // Frames now shown as soon as they are read: the lead falls back to half a frame,
  // but a frame's clock does not go back while the music heard stands still.
  for (; at < 4000; at += 16) NoteFrameShown(lead, at, at);
  EXPECT_EQ(ClockAt(lead, 1000), 1008);
  EXPECT_EQ(FrameClock(lead, 1000), 1018);
  EXPECT_EQ(FrameClock(lead, 1015), 1023);
}

TEST(PictureLead, FollowsTheMedianWayOfRecentFramesAndIgnoresOneSlowFrame) {
  PictureLead lead;
  // Frames shown 16 ms apart whose clock reads scatter about 10 ms before, then about
  // 4 ms: the lead settles at the middle way and half a frame; one frame 50 ms late
  // moves neither term.
  const double scatter[] = {-2, 2, 0};
  double at = 0;
  for (int i = 0; at < 2000; at += 16) NoteFrameShown(lead, at - 10 + scatter[i++ % 3], at);
  EXPECT_DOUBLE_EQ(lead.leadMs, 18);
  for (int i = 0; at < 4000; at += 16) NoteFrameShown(lead, at - 4 + scatter[i++ % 3], at);
  EXPECT_DOUBLE_EQ(lead.leadMs, 12);
  NoteFrameShown(lead, at - 4, at + 50);
  EXPECT_DOUBLE_EQ(WayToScreenMs(lead), 4);
  EXPECT_DOUBLE_EQ(lead.leadMs, 12);
}

}  // namespace
