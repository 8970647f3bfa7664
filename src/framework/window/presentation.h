// What the display server tells of the SDL window's frames reaching the screen, on the
// desktop: Wayland's presentation-time feedback and frame callbacks on SDL's surface
// (a native Wayland window), and whether a compositor stands between an X11 window and
// the screen. Times are steady ms (CLOCK_MONOTONIC, as SteadyMs measures them).
#pragma once

#include <SDL.h>

#include <cstdint>

namespace window {

// One swapped picture as the compositor reported it.
struct PresentationReport {
  uint32_t Number = 0;       // the picture's number given at its swap
  bool Discarded = false;    // the compositor never showed it
  double PresentedMs = -1;   // when the compositor says it was shown; < 0 none
  uint32_t Flags = 0;        // wp_presentation_feedback's kind flags
  double RefreshMs = 0;      // the output's refresh period as reported; 0 unknown
  double RepaintMs = -1;     // its frame callback's time: the compositor drew it; < 0 none
};

// Starts listening on the window: true where the display reports frames' showing (a
// native Wayland window whose compositor offers wp_presentation).
bool StartPresentationFeedback(SDL_Window* window);
// Just before the swap that commits picture `number`: asks the reports for that commit.
void RequestPresentationFeedback(uint32_t number);
// Without blocking: the next report that arrived, oldest first; false when none.
bool TakePresentationReport(PresentationReport* report);
void StopPresentationFeedback();

// Whether a compositor is known to stand between the window and the screen.
enum class Compositing {
  kNone,        // none known: an X server without a compositing manager
  kWayland,     // a Wayland compositor (the window native, or through Xwayland)
  kX11Manager,  // an X11 compositing manager owns the screen's _NET_WM_CM_S<n>
};
Compositing CompositorOf(SDL_Window* window);

// The refresh period of the output the window is on, ms; 0 when unknown.
double OutputRefreshMs(SDL_Window* window);

}  // namespace window
