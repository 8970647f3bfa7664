// Which routines the Timeline runs, in order, at the edges of its windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "demo/timeline.h"
#include "scenes/globals.h"

namespace {

using Names = std::vector<std::string>;

Names RoutinesAt(int32_t clock) {
  Names names;
  for (const demo::TimelineRow& row : demo::Timeline)
    if (demo::RowContains(row, clock)) names.push_back(row.Name);
  return names;
}

TEST(Timeline, RunsTheRoutinesOfEveryWindowContainingTheClockInTableOrder) {
  const int32_t kMin = std::numeric_limits<int32_t>::min();
  const int32_t kMax = std::numeric_limits<int32_t>::max();
  struct Case {
    int32_t clock;
    Names expected;
  } cases[] = {
      {kMin, {"CheckerStackScene1"}},
      {-1, {"CheckerStackScene1"}},
      {0, {"CheckerStackScene1"}},
      {3740, {"CheckerStackScene1"}},
      {3741, {"CheckerStackScene2"}},
      {7250, {"CheckerStackScene2"}},
      {7251, {"CheckerStackScene3"}},
      {13030, {"CheckerStackScene3"}},
      {13031, {"CheckerStackScene3", "FadeToWhite"}},
      {14230, {"CheckerStackScene3", "FadeToWhite"}},
      {14231, {"StarStreamScene1", "FadeFromWhite"}},
      {15430, {"StarStreamScene1", "FadeFromWhite"}},
      {15431, {"StarStreamScene1"}},
      {21000, {"StarStreamScene1"}},
      {21001, {"StarStreamScene2", "FlashOverlay"}},
      {23000, {"StarStreamScene2", "FlashOverlay"}},
      {23001, {"StarStreamScene2"}},
      {28001, {"FlareFieldScene", "FlashOverlay"}},
      {29001, {"FlareFieldScene"}},
      {35000, {"FlareFieldScene"}},
      {35001, {"PlasmaScene1", "FlashOverlay"}},
      {42001, {"PlasmaScene2", "FlashOverlay"}},
      {43001, {"PlasmaScene2"}},
      {49001, {"PlasmaScene3", "FlashOverlay"}},
      {50001, {"PlasmaScene3"}},
      {56000, {"PlasmaScene3"}},
      {56001, {"GreetingsScene"}},
      {66000, {"GreetingsScene"}},
      {66001, {"GreetingsFadeScene"}},
      {70000, {"GreetingsFadeScene"}},
      {70001, {}},
      {kMax, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(RoutinesAt(c.clock), c.expected) << "clock " << c.clock;
}

TEST(Timeline, EveryClockRunsExactlyOneScene) {
  // Overlays draw over a scene; a clock with no scene or two would show garbage.
  const Names overlays = {"FadeToWhite", "FadeFromWhite", "FlashOverlay"};
  for (int32_t clock = -100; clock <= 70000; ++clock) {
    int scenes = 0;
    for (const std::string& name : RoutinesAt(clock))
      scenes += std::find(overlays.begin(), overlays.end(), name) == overlays.end();
    ASSERT_EQ(scenes, 1) << "clock " << clock;
  }
}

TEST(Timeline, DrawingAFrameRecordsItsClock) {
  demo::DrawTimelineFrame(70001);  // no routine runs, so no context is needed
  EXPECT_EQ(scenes::SceneClock, 70001);
}

}  // namespace
