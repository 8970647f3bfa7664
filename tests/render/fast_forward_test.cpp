// The tool reaches a moment by drawing the earlier frames at a one-pixel viewport;
// the frame it writes must be the one that drawing every frame in full gives.
#include <gtest/gtest.h>

#include "demo/timeline.h"
#include "support/scene_fixture.h"
#include "tool_runner.h"

namespace {

using FastForward = testsupport::SceneTest;

TEST_F(FastForward, GivesTheFramesOfAFullReplay) {
  // Checkers, the wire room with its stream, and the plasma (a texture rewritten
  // every frame), all from one replay.
  int32_t drawnUpTo = -15;
  for (int32_t ms : {9000, 23000, 36000}) {
    SCOPED_TRACE(ms);
    for (; drawnUpTo + 15 <= ms; drawnUpTo += 15) demo::DrawTimelineFrame(drawnUpTo + 15);
    const std::vector<testsupport::Rgba> full = testsupport::ReadFrame(Width, Height);
    const pngio::Image still =
        rendertest::RenderAt(ms, std::to_string(Width) + "x" + std::to_string(Height), 1);
    ASSERT_EQ(still.Width, Width);
    ASSERT_EQ(still.Height, Height);
    int differing = 0;
    for (int y = 0; y < Height; ++y)
      for (int x = 0; x < Width; ++x) {
        const testsupport::Rgba& a = full[static_cast<size_t>((Height - 1 - y) * Width + x)];
        const uint8_t* b = &still.Pixels[static_cast<size_t>(3 * (y * Width + x))];
        differing += a.r != b[0] || a.g != b[1] || a.b != b[2];
      }
    EXPECT_EQ(differing, 0);
  }
}

}  // namespace
