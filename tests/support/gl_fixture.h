// Offscreen OpenGL for drawing tests: Mesa's llvmpipe through SDL's offscreen
// driver, with the driver's fixed GL state, and read-back of the drawn frame.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace testsupport {

struct Rgba {
  uint8_t r, g, b, a;
};

// A test fixture whose suite shares one offscreen context of Width x Height with
// InitGLState applied before every test.
class OffscreenGLTest : public ::testing::Test {
 public:
  static constexpr int Width = 160;
  static constexpr int Height = 120;

 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
};

// Opens (or reopens) the offscreen context at the given size and applies InitGLState.
bool OpenTestContext(int width, int height);

// The current frame, bottom row first, RGBA.
std::vector<Rgba> ReadFrame(int width, int height);
Rgba ReadPixel(int x, int y);  // x from the left, y from the bottom

}  // namespace testsupport
