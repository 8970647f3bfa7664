// When a swapped picture reached the screen, from the best the platform reports of it:
// the compositor's own presentation time where it is trustworthy, else its repaint of
// the picture plus a refresh, else the swap's return plus a compositor's usual delay
// where one is known to stand between, else the swap's return. Pure: no platform
// calls; times are steady ms.
#pragma once

#include <cstdint>
#include <deque>

namespace window {

// What a compositor reported of one swapped picture (presentation.cpp reads it).
struct PresentationReport {
  uint32_t Number = 0;       // the picture's number given at its swap
  bool Discarded = false;    // the compositor never showed it
  double PresentedMs = -1;   // when the compositor says it was shown; < 0 none
  uint32_t Flags = 0;        // wp_presentation_feedback's kind flags
  double RefreshMs = 0;      // the output's refresh period as reported; 0 unknown
  double RepaintMs = -1;     // its frame callback's time: the compositor drew it; < 0 none
};

// wp_presentation_feedback's kind flags.
constexpr uint32_t kPresentedAtVsync = 0x1;
constexpr uint32_t kPresentedByHardwareClock = 0x2;
constexpr uint32_t kPresentedWithHardwareCompletion = 0x4;

// Whether a compositor is known to stand between the window and the screen.
enum class Compositing {
  kNone,        // none known: an X server without a compositing manager
  kWayland,     // a Wayland compositor (the window native, or through Xwayland)
  kX11Manager,  // an X11 compositing manager owns the screen's _NET_WM_CM_S<n>
  kWindows,     // the Windows desktop's compositor (DWM), for a window it composes
};

// How a picture's time on screen was found.
enum class ShownSource : uint8_t {
  kSwapReturn,          // nothing between the swap and the screen
  kPresentation,        // the compositor's presentation time
  kRepaint,             // the compositor's repaint of it, and a refresh
  kCompositorEstimate,  // the swap's return, and a compositor's repaint and refresh
  kPageRefresh,         // a page's refresh that showed it
};
constexpr int kShownSources = 5;
const char* ShownSourceName(ShownSource source);

// One swapped picture, as the window unit saw its swap.
struct SwappedPicture {
  uint32_t Number = 0;
  double SwapCalledMs = 0;    // the swap was asked for
  double SwapReturnedMs = 0;  // and returned
};

struct ShownTime {
  double Ms;
  ShownSource Source;
};

// The picture's time on screen. `report` is the compositor's, or null where none came;
// `refreshMs` the output's refresh period as the platform knows it (0: unknown, taken
// as 60 Hz).
ShownTime ShownTimeOf(const SwappedPicture& swap, const PresentationReport* report,
                      Compositing compositing, double refreshMs);

// Pictures whose time on screen was found, per source, and those a compositor discarded.
struct ShownCounts {
  uint32_t BySource[kShownSources] = {};
  uint32_t Discarded = 0;
};

// The pictures whose time on screen the window unit has found and the driver has not
// taken yet, oldest first, and the counts so far.
class ShownPictures {
 public:
  // The picture's time on screen, found as ShownTimeOf does, waits to be taken.
  void Note(const SwappedPicture& swap, const PresentationReport* report,
            Compositing compositing, double refreshMs);
  void NoteDiscarded() { ++counts_.Discarded; }
  bool Take(uint32_t* number, double* shownMs);
  const ShownCounts& Counts() const { return counts_; }

 private:
  struct Shown {
    uint32_t Number;
    double Ms;
  };
  std::deque<Shown> waiting_;
  ShownCounts counts_;
};

// The steady clock now, ms.
double SteadyNowMs();

}  // namespace window
