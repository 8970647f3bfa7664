// Placeholder until the display server's reports are read: none reported, no
// compositor known.
#include "framework/window/presentation.h"

namespace window {

bool StartPresentationFeedback(SDL_Window*) { return false; }
void RequestPresentationFeedback(uint32_t) {}
bool TakePresentationReport(PresentationReport*) { return false; }
void StopPresentationFeedback() {}
Compositing CompositorOf(SDL_Window*) { return Compositing::kNone; }
double OutputRefreshMs(SDL_Window*) { return 0; }

}  // namespace window
