// Drawing tests of the production's scenes: an offscreen context with the driver's
// start-up (GL state, tables, the real pictures from build/data, the particle pool,
// the scene globals) and a fixed random seed.
#pragma once

#include <cstdint>
#include <string>

#include "support/gl_fixture.h"

namespace testsupport {

class SceneTest : public OffscreenGLTest {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  // Fresh scene globals and random seed before every test.
  void SetUp() override;
};

// Draws the frames at clocks 0, 15, 30, ... up to and including the largest
// multiple of 15 not above clock, as the real frame loop at its pacing limit would.
void RunFramesUpTo(int32_t clock);

// Writes the current frame (Width x Height of the fixture) as a PNG, for looking at.
void SaveFramePng(const std::string& path, int width, int height);

}  // namespace testsupport
