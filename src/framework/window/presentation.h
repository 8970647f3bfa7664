// What the display server tells of the SDL window's frames reaching the screen, on the
// desktop: Wayland's presentation-time feedback and frame callbacks on SDL's surface
// (a native Wayland window), and whether a compositor stands between an X11 window and
// the screen. Times are steady ms (CLOCK_MONOTONIC, as SteadyMs measures them).
#pragma once

#include <SDL.h>

#include <cstdint>

#include "framework/window/shown_time.h"

namespace window {

// Starts listening on the window: true where the display reports frames' showing (a
// native Wayland window whose compositor offers wp_presentation).
bool StartPresentationFeedback(SDL_Window* window);
// Just before the swap that commits picture `number`: asks the reports for that commit.
void RequestPresentationFeedback(uint32_t number);
// Without blocking: the next report that arrived, oldest first; false when none.
bool TakePresentationReport(PresentationReport* report);
void StopPresentationFeedback();

// Whether a compositor is known to stand between the window and the screen (never
// kWindows here).
Compositing CompositorOf(SDL_Window* window);

// The refresh period of the output the window is on, ms; 0 when unknown.
double OutputRefreshMs(SDL_Window* window);

}  // namespace window
