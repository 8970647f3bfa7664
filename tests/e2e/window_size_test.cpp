// A window that something else resizes (a tiling window manager, a compositor) shows
// the whole picture scaled to fit, aspect kept, black bars only beside it.
#include "e2e_harness.h"
// After the harness: Xlib's macros (None, Bool, Status) clash with GoogleTest's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using namespace e2e;

struct Box {
  int left, top, right, bottom;  // right and bottom exclusive
};

// Widens `lit` by the window's non-black pixels on the screen now.
void AddLitPixels(const std::string& id, Box& lit) {
  Display* x = XOpenDisplay(nullptr);
  XWindowAttributes size{};
  XGetWindowAttributes(x, std::stoul(id, nullptr, 16), &size);
  XImage* image = XGetImage(x, std::stoul(id, nullptr, 16), 0, 0, size.width, size.height,
                            AllPlanes, ZPixmap);
  for (int y = 0; image && y < size.height; ++y)
    for (int px = 0; px < size.width; ++px)
      if (XGetPixel(image, px, y) & 0xf0f0f0)
        lit = {std::min(lit.left, px), std::min(lit.top, y), std::max(lit.right, px + 1),
               std::max(lit.bottom, y + 1)};
  if (image) XDestroyImage(image);
  XCloseDisplay(x);
}

class ResizedWindow : public EndToEnd {
 protected:
  static void SetUpTestSuite() {
    screen_ = "1024x768x24";
    EndToEnd::SetUpTestSuite();
  }
};

TEST_F(ResizedWindow, ThePictureFillsTheWindowWithBarsOnlyWhereTheAspectDiffers) {
  Process lumetra = StartLumetra(kBuild);
  auto dialog = FindWindow("Config", 60);
  ASSERT_TRUE(dialog) << "no configuration dialog: " << ReadFile(StderrFile());
  PressKey(dialog->first, "--delay 120 Tab Tab Tab space Return");  // 640 x 480 windowed
  auto window = FindWindow("Lumetra", 30);
  ASSERT_TRUE(window && window->second == "640x480+0+0") << ReadFile(StderrFile());
  ASSERT_TRUE(WaitForAudio(500, 60)) << "no frames yet: " << ReadFile(StderrFile());

  // Where the scaled picture belongs; over a few frames its content comes within
  // 32 pixels of each edge, and nothing outside it is lit.
  for (Box place : {Box{112, 0, 912, 600}, Box{0, 0, 1024, 768}}) {
    SCOPED_TRACE(place.right - place.left);
    Shell("xdotool windowsize " + window->first + " " + std::to_string(place.right + place.left) +
          " " + std::to_string(place.bottom));
    Pause(1000);  // frames drawn at the old size leave the screen
    Box lit{1 << 20, 1 << 20, 0, 0};
    for (auto start = Clock::now(); SecondsSince(start) < 30; Pause(200)) {
      AddLitPixels(window->first, lit);
      if (lit.left < place.left + 32 && lit.top < 32 && lit.right > place.right - 32 &&
          lit.bottom > place.bottom - 32)
        break;
    }
    EXPECT_TRUE(lit.left >= place.left && lit.left < place.left + 32 && lit.top < 32 &&
                lit.right <= place.right && lit.right > place.right - 32 &&
                lit.bottom > place.bottom - 32)
        << "lit " << lit.left << "," << lit.top << " to " << lit.right << "," << lit.bottom;
  }
  PressKey(window->first, "Escape");
  EXPECT_EQ(lumetra.Wait(20), std::optional<int>(0)) << ReadFile(StderrFile());
}

}  // namespace
