// Drawing tests of the production's scenes: an offscreen context with the driver's
// start-up (GL state, tables, the real pictures from build/data, the particle pool,
// the scene globals) and a fixed random seed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/gl_fixture.h"

namespace testsupport {

// Once per suite: a new offscreen context, InitGLState, the tables, all ten texture
// slots (the loading picture included) and the pool of 400. Before every test:
// InitGLState, cleared buffers, the start-up's GL defaults (texturing off, white,
// filled polygons, texture 0 bound, GL_MODULATE), the scene globals as the driver
// leaves them (clock 0, ScenePhase 10, counters and angles 0, RoomList 0), every
// pool record zeroed, and the random generator seeded with 1.
class SceneTest : public OffscreenGLTest {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
};

// Draws the frames at clocks 0, 15, 30, ... up to and including the largest
// multiple of 15 not above clock, as the real frame loop at its pacing limit would.
void RunFramesUpTo(int32_t clock);

// The fixture's frame after draw runs on a cleared frame with the flare2 picture
// bound, texturing on and the colour white (as the stream and the tiles are drawn).
std::vector<Rgba> PictureOfFlares(const std::function<void()>& draw);
// Two pictures of the same thing drawn two ways: well lit, and no more than one
// pixel in 200 differing by more than one level in a channel.
void ExpectSamePicture(const std::vector<Rgba>& a, const std::vector<Rgba>& b);

// Writes the current frame (Width x Height of the fixture) as a PNG, for looking at.
void SaveFramePng(const std::string& path, int width, int height);

}  // namespace testsupport
