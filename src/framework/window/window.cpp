// Window unit: placeholder bodies until the SDL window lands.
#include "framework/window/window.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

namespace window {

bool Running = false;

void OpenWindow(const char*, int32_t, int32_t, int32_t, bool) {
  ShowError("cvn_WinAPI", "Window could not be created");
}
void CloseWindow() {}
void DispatchOneEvent() {}
void SwapFrame() {}
void SendDestroy() { Running = false; }

void ShowMessageBox(const char* caption, const char* text) {
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) != 0)
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

void ShowError(const char* caption, const char* message) {
  ShowMessageBox(caption, message);
  std::exit(0);
}

}  // namespace window
