// The real program on a Wayland compositor (headless sway, 1024x768), through XWayland
// and as a native client: the dialog answered with keys, windowed and full-screen runs
// whose picture fills the window, Escape.
#include "wayland_harness.h"

namespace {

using namespace e2e;

class OnSway : public SwayEndToEnd, public ::testing::WithParamInterface<bool> {
 protected:
  // Over a few screenshots the picture's content comes within 32 pixels of every edge
  // of the window (a picture left at 640x480 in a bigger window never reaches the top
  // and right edges).
  void ExpectPictureFills(const SwayWindow& w) {
    int left = w.width, top = w.height, right = 0, bottom = 0;
    for (auto start = Clock::now(); SecondsSince(start) < 30; Pause(200)) {
      pngio::Image shot = Screenshot();
      for (int y = 0; y < w.height && w.y + y < shot.Height; ++y)
        for (int x = 0; x < w.width && w.x + x < shot.Width; ++x) {
          const uint8_t* p = &shot.Pixels[((w.y + y) * shot.Width + w.x + x) * shot.Channels];
          if ((p[0] | p[1] | p[2]) < 16) continue;
          left = std::min(left, x), top = std::min(top, y);
          right = std::max(right, x + 1), bottom = std::max(bottom, y + 1);
        }
      if (left < 32 && top < 32 && right > w.width - 32 && bottom > w.height - 32) return;
    }
    ADD_FAILURE() << "lit " << left << "," << top << " to " << right << "," << bottom << " of "
                  << w.width << "x" << w.height;
  }

  void RunUntilEscape(const std::string& dialogKeys, bool fullscreen) {
    Process lumetra = StartOnSway(GetParam());
    ASSERT_TRUE(FindSwayWindow("Config", 60)) << ReadFile(StderrFile());
    Keys(dialogKeys);
    auto window = FindSwayWindow("Lumetra", 30);
    ASSERT_TRUE(window) << ReadFile(StderrFile());
    ASSERT_TRUE(WaitForAudio(500, 60)) << "no frames yet: " << ReadFile(StderrFile());
    window = FindSwayWindow("Lumetra", 1);  // as the compositor settled it
    ASSERT_TRUE(window);
    EXPECT_EQ(window->fullscreen, fullscreen);
    EXPECT_EQ(window->xwayland, !GetParam()) << "native Wayland is the program's choice";
    if (fullscreen) {
      EXPECT_EQ(window->width, 1024);
      EXPECT_EQ(window->height, 768);
    }
    ExpectPictureFills(*window);
    Keys("Escape");
    EXPECT_EQ(lumetra.Wait(20), std::optional<int>(0)) << ReadFile(StderrFile());
  }
};

// Go! has the focus: two tabs reach the list, a third "Fullscreen", whose tick space
// takes away (the compositor's own small keymap would not have it).
TEST_P(OnSway, TheDialogAnsweredWithKeysStartsAWindowedRunThatEscapeEnds) {
  RunUntilEscape("Tab Tab Tab space Return", false);
}

// 640x480 is no mode of the 1024x768 output: the picture still fills the screen.
TEST_P(OnSway, FullScreenAtAnotherModeThanTheOutputsFillsTheScreen) {
  RunUntilEscape("Return", true);
}

INSTANTIATE_TEST_SUITE_P(Display, OnSway, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Wayland" : "XWayland"; });

}  // namespace
