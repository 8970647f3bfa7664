#include "demo/frame_stats.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/window/window.h"

namespace demo {

namespace {

using SteadyClock = std::chrono::steady_clock;

struct Frame {
  SteadyClock::time_point Presented;
  int32_t Clock;  // ms
};

std::vector<Frame> frames;
int enabled = -1;  // unknown until the first frame

bool StatsWanted() {
  const char* value = std::getenv("LUMETRA_STATS");
  return value && std::strcmp(value, "1") == 0;
}

// Nearest-rank percentile of sorted values.
double Percentile(const std::vector<double>& sorted, double p) {
  const size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(sorted.size())));
  return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

void PrintReport() {
  std::vector<double> intervals;  // ms
  for (size_t i = 1; i < frames.size(); ++i) {
    intervals.push_back(std::chrono::duration<double, std::milli>(frames[i].Presented -
                                                                   frames[i - 1].Presented)
                            .count());
  }
  std::sort(intervals.begin(), intervals.end());
  std::fprintf(stderr, "Lumetra stats\n  frames drawn    %zu\n", frames.size());
  if (!intervals.empty()) {
    const double steadyMs = std::chrono::duration<double, std::milli>(
                                frames.back().Presented - frames.front().Presented)
                                .count();
    const int32_t clockMs = frames.back().Clock - frames.front().Clock;
    std::fprintf(stderr,
                 "  frame interval  median %.2f ms, p95 %.2f ms, largest %.2f ms\n"
                 "  clock rate      %.4f of the steady clock (%d ms in %.0f ms)\n",
                 Percentile(intervals, 0.5), Percentile(intervals, 0.95), intervals.back(),
                 steadyMs > 0 ? clockMs / steadyMs : 0.0, clockMs, steadyMs);
  }
  const window::SwapControl swap = window::SwapInterval();
  std::fprintf(stderr, "  swap interval   %d%s%s\n", swap.Interval,
               swap.Refused ? " (the driver refused the request for 0)" : "",
               swap.Interval != 0 ? "; swaps wait for the display" : "");
  std::fflush(stderr);
}

}  // namespace

void NoteFramePresented(int32_t clock) {
  if (enabled < 0) {
    enabled = StatsWanted();
    if (enabled) {
      frames.reserve(8192);
      std::atexit(PrintReport);
    }
  }
  if (enabled) frames.push_back({SteadyClock::now(), clock});
}

}  // namespace demo
