// Swaps pictures on a native Wayland window, asking the compositor's report of each, and
// checks what comes back: one report per picture, in order, each discarded or repainted
// no earlier than its swap began (and shown no earlier than repainted). Exit code 0 when
// all hold and at least one picture reached the screen.
#include <SDL.h>
#include <SDL_opengl.h>

#include <chrono>
#include <cstdio>

#include "framework/window/presentation.h"

namespace {
double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

int main() {
  constexpr uint32_t kPictures = 30;
  SDL_Window* shown = SDL_Init(SDL_INIT_VIDEO) == 0
                          ? SDL_CreateWindow("probe", 0, 0, 320, 240, SDL_WINDOW_OPENGL)
                          : nullptr;
  if (!shown || !SDL_GL_CreateContext(shown)) return 2;
  if (!window::StartPresentationFeedback(shown)) {
    std::fputs("no presentation feedback\n", stderr);
    return 3;
  }
  double swapMs[kPictures + 1] = {};
  uint32_t taken = 0, repainted = 0, faults = 0;
  window::PresentationReport report;
  const double startMs = NowMs();
  for (uint32_t number = 1; taken < kPictures && NowMs() - startMs < 30000; SDL_Delay(16)) {
    SDL_PumpEvents();
    if (number <= kPictures) {
      glClearColor(number & 1, 0.5f, 0, 1);
      glClear(GL_COLOR_BUFFER_BIT);
      window::RequestPresentationFeedback(number);
      swapMs[number++] = NowMs() - 1;  // the compositor's ms are whole
      SDL_GL_SwapWindow(shown);
    }
    for (; window::TakePresentationReport(&report); ++taken) {
      const bool inOrder = report.Number == taken + 1 && report.Number <= kPictures;
      const bool seen = inOrder && report.RepaintMs >= swapMs[report.Number] &&
                        (report.PresentedMs < 0 || report.PresentedMs >= report.RepaintMs - 1);
      repainted += seen && !report.Discarded;
      faults += !inOrder || !(report.Discarded || seen);
    }
  }
  std::fprintf(stderr, "%u reports of %u, %u repainted, %u faults\n", taken, kPictures, repainted,
               faults);
  window::StopPresentationFeedback();
  SDL_Quit();
  return taken == kPictures && repainted > 0 && faults == 0 ? 0 : 1;
}
