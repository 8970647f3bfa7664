#include "demo/frame_stats.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "demo/timeline.h"
#include "framework/window/window.h"
#include "music/fsound.h"

namespace demo {

namespace {

using SteadyClock = std::chrono::steady_clock;

struct Frame {
  SteadyClock::time_point Started;  // the clock was read
  SteadyClock::time_point Drawn;    // the frame was drawn to the end
  SteadyClock::time_point Presented;
  int32_t Clock;         // ms
  double OutputDelayMs;  // the sound output's, as it reported it then
  // The picture's lead in force and its two terms (picture_lead.h), ms.
  double LeadMs, WayMs, HalfFrameMs;
};

std::vector<Frame> frames;
size_t routines = 0;  // frame routines noted apart from the frames presented
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

double Ms(SteadyClock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// "median M ms, p95 P ms, largest L ms" of the values, which it sorts.
void PrintSpread(const char* label, std::vector<double>& values, const char* what) {
  std::sort(values.begin(), values.end());
  std::fprintf(stderr, "  %-15s median %.2f ms, p95 %.2f ms, largest %.2f ms%s\n", label,
               Percentile(values, 0.5), Percentile(values, 0.95), values.back(), what);
}

// Per scene of the Timeline (rows that begin together as one), as the run saw it begin
// (its first frame presented), the largest frame interval whose frame was presented
// within kSceneWindowMs after that frame's clock read: the first frames' own cost shows
// here as a stall.
constexpr double kSceneWindowMs = 300;

void PrintSceneChanges() {
  std::fprintf(stderr, "  scene changes   largest frame interval within %.0f ms after each "
               "scene begins\n", kSceneWindowMs);
  for (size_t row = 0; row < Timeline.size(); ++row) {
    const TimelineRow& first = Timeline[row];
    if (row > 0 && Timeline[row - 1].FirstMs == first.FirstMs) continue;
    std::string names = first.Name;
    for (size_t next = row + 1; next < Timeline.size() && Timeline[next].FirstMs == first.FirstMs;
         ++next)
      names += std::string(" + ") + Timeline[next].Name;
    size_t begin = 0;
    while (begin < frames.size() && !RowContains(first, frames[begin].Clock)) ++begin;
    if (begin == frames.size()) {
      std::fprintf(stderr, "    %5d ms  not shown  %s\n", first.FirstMs, names.c_str());
      continue;
    }
    double largest = 0;
    for (size_t i = std::max<size_t>(begin, 1); i < frames.size(); ++i) {
      if (Ms(frames[i].Presented - frames[begin].Started) > kSceneWindowMs) break;
      largest = std::max(largest, Ms(frames[i].Presented - frames[i - 1].Presented));
    }
    std::fprintf(stderr, "    %5d ms  %6.2f ms  %s\n", first.FirstMs, largest, names.c_str());
  }
}

void PrintReport() {
  // Presented frames apart, frame starts apart (the music clock's pacing), and the
  // time from a frame's start until it is drawn to the end (the desktop then waits
  // for its 15 ms of music before presenting it; a page's frame is drawn at its swap).
  std::vector<double> intervals, starts, drawing;
  for (size_t i = 1; i < frames.size(); ++i) {
    intervals.push_back(Ms(frames[i].Presented - frames[i - 1].Presented));
    starts.push_back(Ms(frames[i].Started - frames[i - 1].Started));
    drawing.push_back(Ms(frames[i].Drawn - frames[i].Started));
  }
  std::fprintf(stderr, "Lumetra stats\n  frames drawn    %zu\n", frames.size());
  if (routines > 0) std::fprintf(stderr, "  frame routines  %zu\n", routines);
  if (!intervals.empty()) {
    PrintSpread("frame interval", intervals, "");
    PrintSpread("frame start", starts, " (paced by the music clock)");
    PrintSpread("drawing", drawing, " (start to drawn to the end)");
    PrintSceneChanges();
    const double steadyMs = Ms(frames.back().Presented - frames.front().Presented);
    const int32_t clockMs = frames.back().Clock - frames.front().Clock;
    std::fprintf(stderr, "  clock rate      %.4f of the steady clock (%d ms in %.0f ms)\n",
                 steadyMs > 0 ? clockMs / steadyMs : 0.0, clockMs, steadyMs);
    // What the clock counts of the way from the music to the eye and ear: the sound
    // output's own delay, and the picture's lead with its two terms.
    std::vector<double> delays, lead, way, half;
    for (const Frame& frame : frames) {
      delays.push_back(frame.OutputDelayMs);
      lead.push_back(frame.LeadMs);
      way.push_back(frame.WayMs);
      half.push_back(frame.HalfFrameMs);
    }
    PrintSpread("output delay", delays, " (sound going out until heard)");
    PrintSpread("picture lead", lead, " (a frame's clock past the music heard at its read)");
    PrintSpread("  way to screen", way, " (clock read to shown, recent frames' median)");
    PrintSpread("  half a frame", half, " (half the recent frame interval)");
  }
  std::fprintf(stderr, "  shown at        %s\n", ShownSourcesText(window::ShownPictureCounts()).c_str());
  std::fprintf(stderr, "  swap interval   %s\n", SwapIntervalText(window::SwapInterval()).c_str());
  std::fflush(stderr);
}

}  // namespace

std::string SwapIntervalText(window::SwapControl swap) {
  if (!swap.Asked) return "none to ask for: the browser shows each frame at the display's refresh";
  std::string text = "asked 0, in force " +
                     (swap.Interval < 0 ? std::string("unknown") : std::to_string(swap.Interval));
  if (swap.Refused) text += " (the driver refused the request and keeps its own)";
  if (swap.Interval > 0) text += "; swaps wait for the display";
  return text;
}

std::string ShownSourcesText(const window::ShownCounts& counts) {
  std::string text;
  for (int source = 0; source < window::kShownSources; ++source) {
    if (counts.BySource[source] == 0) continue;
    if (!text.empty()) text += "; ";
    text += window::ShownSourceName(static_cast<window::ShownSource>(source));
    text += " for " + std::to_string(counts.BySource[source]) + " pictures";
  }
  if (text.empty()) text = "no picture known to be shown";
  if (counts.Discarded > 0)
    text += "; " + std::to_string(counts.Discarded) + " discarded by the compositor, never shown";
  return text;
}

void NoteFrameRoutine() { ++routines; }

void NoteFramePresented(int32_t clock, SteadyClock::time_point started,
                        SteadyClock::time_point drawn, const PictureLead& lead) {
  if (enabled < 0) {
    enabled = StatsWanted();
    if (enabled) {
      frames.reserve(8192);
      std::atexit(PrintReport);
    }
  }
  if (enabled)
    frames.push_back({started, drawn, SteadyClock::now(), clock, music::OutputDelayMs(),
                      lead.leadMs, WayToScreenMs(lead), HalfFrameMs(lead)});
}

}  // namespace demo
