#include "framework/window/shown_time.h"

#include <chrono>

namespace window {

namespace {

constexpr double kDefaultRefreshMs = 1000.0 / 60.0;

}  // namespace

const char* ShownSourceName(ShownSource source) {
  switch (source) {
    case ShownSource::kSwapReturn: return "the swap's return";
    case ShownSource::kPresentation: return "the compositor's presentation time";
    case ShownSource::kRepaint: return "the compositor's repaint and a refresh";
    case ShownSource::kCompositorEstimate:
      return "the swap's return and a compositor's repaint and refresh, estimated";
    case ShownSource::kPageRefresh: return "the page's refresh that showed it";
  }
  return "?";
}

ShownTime ShownTimeOf(const SwappedPicture& swap, const PresentationReport* report,
                      Compositing compositing, double refreshMs) {
  double refresh = refreshMs > 0 ? refreshMs : kDefaultRefreshMs;
  if (report) {
    if (report->RefreshMs > 0) refresh = report->RefreshMs;
    // A time taken at the display's refresh or at the hardware's completion is when the
    // picture was shown; one without either flag is only when the compositor learnt of
    // it, which may be a repaint or more later (a nested compositor's). Nothing is shown
    // before its swap was asked for.
    const bool timed = report->Flags & (kPresentedAtVsync | kPresentedWithHardwareCompletion);
    if (timed && report->PresentedMs >= swap.SwapCalledMs)
      return {report->PresentedMs, ShownSource::kPresentation};
    // The compositor drew the picture at its frame callback; the output shows what it
    // drew at its next refresh.
    if (report->RepaintMs >= swap.SwapCalledMs)
      return {report->RepaintMs + refresh, ShownSource::kRepaint};
  }
  if (compositing == Compositing::kNone) return {swap.SwapReturnedMs, ShownSource::kSwapReturn};
  // A compositor takes the picture at its next repaint, half a refresh later on average
  // (frames are not in step with it), and the output shows that at the refresh after.
  return {swap.SwapReturnedMs + 1.5 * refresh, ShownSource::kCompositorEstimate};
}

void ShownPictures::Note(const SwappedPicture& swap, const PresentationReport* report,
                         Compositing compositing, double refreshMs) {
  const ShownTime shown = ShownTimeOf(swap, report, compositing, refreshMs);
  ++counts_.BySource[static_cast<int>(shown.Source)];
  waiting_.push_back({swap.Number, shown.Ms});
}

bool ShownPictures::Take(uint32_t* number, double* shownMs) {
  if (waiting_.empty()) return false;
  *number = waiting_.front().Number;
  *shownMs = waiting_.front().Ms;
  waiting_.pop_front();
  return true;
}

double SteadyNowMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace window
