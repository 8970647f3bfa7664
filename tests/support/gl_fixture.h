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

// While it lives, drawing goes to a Width x Height frame of 5/6/5 colour bits and a
// 16-bit depth buffer (the 16-bit colour mode), which ReadFrame reads back. The
// offscreen context itself is always 8/8/8.
class HighColorFrame {
 public:
  HighColorFrame(int width, int height);
  ~HighColorFrame();
  HighColorFrame(const HighColorFrame&) = delete;
  HighColorFrame& operator=(const HighColorFrame&) = delete;

 private:
  unsigned framebuffer_ = 0;
  unsigned renderbuffers_[2] = {0, 0};
};

// The current frame, bottom row first, RGBA.
std::vector<Rgba> ReadFrame(int width, int height);
Rgba ReadPixel(int x, int y);  // x from the left, y from the bottom

}  // namespace testsupport
