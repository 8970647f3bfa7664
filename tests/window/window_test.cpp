// The window unit on SDL's offscreen driver (asked for explicitly): the per-frame
// event handling and the failures that end the program through ShowError.
#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "framework/window/window.h"

// Every swap-interval request, whether a context was current when it was made, and
// an answer to give instead of the driver's.
namespace {
struct SwapRequest {
  int Interval;
  bool ContextCurrent;
};
std::vector<SwapRequest> swapRequests;
bool refuseSwapInterval = false;
}  // namespace

extern "C" int __real_SDL_GL_SetSwapInterval(int interval);
extern "C" int __wrap_SDL_GL_SetSwapInterval(int interval) {
  swapRequests.push_back({interval, SDL_GL_GetCurrentContext() != nullptr});
  if (refuseSwapInterval) return SDL_SetError("swap interval refused by the test");
  return __real_SDL_GL_SetSwapInterval(interval);
}

namespace {

void PushKey(SDL_Keycode key) {
  SDL_Event event{};
  event.type = SDL_KEYDOWN;
  event.key.keysym.sym = key;
  event.key.keysym.scancode = SDL_GetScancodeFromKey(key);
  SDL_PushEvent(&event);
}

void PushEvent(Uint32 type) {
  SDL_Event event{};
  event.type = type;
  SDL_PushEvent(&event);
}

// Runs DispatchOneEvent until the queue is empty.
void DispatchAll() {
  for (int calls = 0; calls < 1000 && SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT); ++calls)
    window::DispatchOneEvent();
}

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // No box may wait for a click: without a display the boxes go to standard error.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    window::OpenWindow("Lumetra test", 64, 48, 32, false);
  }
  static void TearDownTestSuite() { window::CloseWindow(); }
  void SetUp() override {
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    window::Running = true;
  }
};

// (The offscreen surface is single-buffered whatever is asked; the double buffer
// shows in the end-to-end runs under X.)
TEST_F(WindowTest, OpensWithACurrentContextWithADepthBuffer) {
  EXPECT_NE(glGetString(GL_VERSION), nullptr);
  int depth = 0;
  SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
  EXPECT_GE(depth, 16);
}

TEST_F(WindowTest, EscapeAndCloseRequestsClearRunningOtherKeysDoNot) {
  for (SDL_Keycode key : {SDLK_a, SDLK_RETURN, SDLK_SPACE, SDLK_F4, SDLK_q}) PushKey(key);
  DispatchAll();
  EXPECT_TRUE(window::Running);

  PushKey(SDLK_ESCAPE);
  window::DispatchOneEvent();
  EXPECT_FALSE(window::Running);

  window::Running = true;
  PushEvent(SDL_QUIT);
  window::DispatchOneEvent();
  EXPECT_FALSE(window::Running);

  window::Running = true;
  SDL_Event close{};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  SDL_PushEvent(&close);
  window::DispatchOneEvent();
  EXPECT_FALSE(window::Running);
}

TEST_F(WindowTest, HandlesOneEventPerCall) {
  PushKey(SDLK_a);
  PushKey(SDLK_ESCAPE);
  window::DispatchOneEvent();
  EXPECT_TRUE(window::Running);
  window::DispatchOneEvent();
  EXPECT_FALSE(window::Running);
}

TEST_F(WindowTest, MouseMotionNeverDelaysEscape) {
  for (int i = 0; i < 500; ++i) {
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.x = i % 64;
    SDL_PushEvent(&motion);
  }
  PushKey(SDLK_ESCAPE);
  window::DispatchOneEvent();
  EXPECT_FALSE(window::Running);
}

TEST_F(WindowTest, SendDestroyStopsTheRunAndKeepsTheContext) {
  window::SendDestroy();
  EXPECT_FALSE(window::Running);
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  window::SwapFrame();
}

// Motion advances per frame: a swap that waits for the display would slow the run.
TEST(SwapInterval, TheContextAsksForNoWaitAndARefusalIsNotedNotFatal) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  for (bool refuse : {false, true}) {
    SCOPED_TRACE(refuse ? "refused" : "accepted");
    swapRequests.clear();
    refuseSwapInterval = refuse;
    window::OpenWindow("Lumetra test", 64, 48, 32, false);
    ASSERT_EQ(swapRequests.size(), 1u);
    EXPECT_EQ(swapRequests[0].Interval, 0);
    EXPECT_TRUE(swapRequests[0].ContextCurrent);
    EXPECT_EQ(window::SwapInterval().Refused, refuse);
    EXPECT_TRUE(window::Running);
    EXPECT_NE(glGetString(GL_VERSION), nullptr);
    window::CloseWindow();
  }
  refuseSwapInterval = false;
}

// Failures end the program with exit code 0 after the "cvn_WinAPI" box, which goes to
// standard error here.
using WindowFailure = ::testing::Test;

TEST(WindowFailure, EndsTheProgramWithTheUnitsErrorText) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  // Without a display SDL would fall back to its invisible offscreen driver.
  EXPECT_EXIT(
      {
        unsetenv("SDL_VIDEODRIVER");
        window::OpenWindow("Lumetra", 640, 480, 32, false);
      },
      ::testing::ExitedWithCode(0), "cvn_WinAPI: Window could not be created");
  // The offscreen display has no 640 x 480 mode at any depth.
  for (int bits : {32, 16}) {
    EXPECT_EXIT(
        {
          setenv("SDL_VIDEODRIVER", "offscreen", 1);
          window::OpenWindow("Lumetra", 640, 480, bits, true);
        },
        ::testing::ExitedWithCode(0), "cvn_WinAPI: Could not set right Resolution");
  }
  // SDL's dummy driver makes windows but has no OpenGL at all.
  EXPECT_EXIT(
      {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        window::OpenWindow("Lumetra", 640, 480, 32, false);
      },
      ::testing::ExitedWithCode(0), "cvn_WinAPI: Pixel Format not Available");
}

}  // namespace
