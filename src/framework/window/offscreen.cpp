// Offscreen OpenGL context on SDL's offscreen video driver (EGL on Mesa), for tests
// and the offline renderer; and the steady tick count.
#include "framework/window/window.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>

namespace window {

namespace {
SDL_Window* offscreenWindow = nullptr;
SDL_GLContext offscreenContext = nullptr;
}  // namespace

uint64_t TickCount() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool OpenOffscreenContext(int32_t width, int32_t height) {
  CloseOffscreenContext();
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "offscreen video: %s\n", SDL_GetError());
    return false;
  }
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  offscreenWindow = SDL_CreateWindow("Lumetra offscreen", 0, 0, width, height,
                                     SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!offscreenWindow) {
    std::fprintf(stderr, "offscreen window: %s\n", SDL_GetError());
    return false;
  }
  offscreenContext = SDL_GL_CreateContext(offscreenWindow);
  if (!offscreenContext) {
    std::fprintf(stderr, "offscreen context: %s\n", SDL_GetError());
    SDL_DestroyWindow(offscreenWindow);
    offscreenWindow = nullptr;
    return false;
  }
  SDL_GL_MakeCurrent(offscreenWindow, offscreenContext);
  return true;
}

void CloseOffscreenContext() {
  if (offscreenContext) SDL_GL_DeleteContext(offscreenContext);
  if (offscreenWindow) SDL_DestroyWindow(offscreenWindow);
  offscreenContext = nullptr;
  offscreenWindow = nullptr;
}

}  // namespace window
