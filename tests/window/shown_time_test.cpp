// A picture's time on screen from what a compositor reports (shown_time.h), with fake
// reports: trusted, untrusted, late and none.
#include <gtest/gtest.h>

#include "demo/picture_lead.h"
#include "framework/window/shown_time.h"

namespace {

using namespace window;

TEST(ShownTime, TakesTheCompositorsTimeOnlyWhereItIsTheShowingElseEstimatesTheRepaint) {
  const SwappedPicture swap{7, 1000, 1004};
  PresentationReport report{7, false, 1030, kPresentedAtVsync | kPresentedByHardwareClock, 8, 1012};
  ShownTime shown = ShownTimeOf(swap, &report, Compositing::kWayland, 16);
  EXPECT_EQ(shown.Source, ShownSource::kPresentation);
  EXPECT_EQ(shown.Ms, 1030);
  // Without a vsync or completion flag (a nested compositor's time, a repaint late),
  // or before the swap was asked for: the frame callback's repaint and the output's
  // refresh as the report gives it.
  for (auto [flags, presented] : {std::pair{0u, 1030.0}, {kPresentedAtVsync, 990.0}}) {
    report.Flags = flags, report.PresentedMs = presented;
    shown = ShownTimeOf(swap, &report, Compositing::kWayland, 16);
    EXPECT_EQ(shown.Source, ShownSource::kRepaint);
    EXPECT_EQ(shown.Ms, 1012 + 8);
  }
  // No repaint time either: a compositor's usual delay after the swap's return, at the
  // refresh the platform knows, 60 Hz where it knows none.
  report.RepaintMs = -1, report.RefreshMs = 0;
  shown = ShownTimeOf(swap, &report, Compositing::kX11Manager, 20);
  EXPECT_EQ(shown.Source, ShownSource::kCompositorEstimate);
  EXPECT_EQ(shown.Ms, 1004 + 30);
  EXPECT_NEAR(ShownTimeOf(swap, nullptr, Compositing::kWindows, 0).Ms, 1004 + 25, 1e-9);
  shown = ShownTimeOf(swap, nullptr, Compositing::kNone, 16);
  EXPECT_EQ(shown.Source, ShownSource::kSwapReturn);
  EXPECT_EQ(shown.Ms, 1004);
}

// A compositor tells of a frame's showing two frames later: each frame's way to the
// screen is from its own clock read, and reports for pictures no longer in flight
// move nothing.
TEST(ShownTime, ReportsArrivingFramesLaterMeasureEachFramesOwnWay) {
  demo::PictureLead lead;
  demo::FramesInFlight inFlight;
  for (uint32_t n = 1; n <= 300; ++n) {
    inFlight.Swapped(n, n * 16.0);
    if (n > 2) inFlight.Shown(lead, n - 2, (n - 2) * 16.0 + 25);
  }
  EXPECT_DOUBLE_EQ(demo::WayToScreenMs(lead), 25);
  for (uint32_t stale = 300 - 64 - 8; stale < 300 - 64; ++stale) inFlight.Shown(lead, stale, 0);
  EXPECT_DOUBLE_EQ(demo::WayToScreenMs(lead), 25);
}

}  // namespace
