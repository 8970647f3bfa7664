// What the first frames of each scene cost against its later ones: the whole Timeline
// drawn at 640 x 480 on the offscreen context, frame by frame at the 15 ms step from
// clock 0 after the loading picture and the loading, each frame finished (glFinish)
// and timed (CPU time of all threads, llvmpipe's included; wall time beside it).
// Printed per scene start: the first frames' times and the scene's median.
//
//   first_frames [WIDTH HEIGHT]        (run from build/, which holds data/)
//
// Under callgrind, the frames around each scene start are the only ones counted, and
// each is dumped on its own (so a dump's total is one frame's instructions):
//   valgrind --tool=callgrind --instr-atstart=no --dump-instr=no ./first_frames
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#define CALLGRIND_DUMP_STATS_AT(name)
#define RUNNING_ON_VALGRIND 0
#endif

#include "demo/driver.h"
#include "demo/gl_state.h"
#include "demo/loading_screen.h"
#include "demo/timeline.h"
#include "demo/warm_up.h"
#include "framework/particle/random.h"
#include "framework/window/window.h"

namespace {

double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double WallMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

constexpr int kShownFirst = 3;  // first frames of a scene printed one by one
constexpr int kCountedBefore = 1;  // frames before a start counted under callgrind

}  // namespace

int main(int argc, char** argv) {
  const int width = argc > 2 ? std::atoi(argv[1]) : 640;
  const int height = argc > 2 ? std::atoi(argv[2]) : 480;
  const bool warm = !std::getenv("FIRST_FRAMES_COLD");
  if (!window::OpenOffscreenContext(width, height)) return 1;
  demo::InitGLState(width, height);
  double cpu0 = CpuMs(), wall0 = WallMs();
  demo::DrawLoadingScreen();
  glFinish();
  std::printf("loading picture %8.2f ms CPU %8.2f ms wall\n", CpuMs() - cpu0, WallMs() - wall0);
  cpu0 = CpuMs(), wall0 = WallMs();
  demo::LoadProduction();
  glFinish();
  std::printf("loading         %8.2f ms CPU %8.2f ms wall\n", CpuMs() - cpu0, WallMs() - wall0);
  cpu0 = CpuMs(), wall0 = WallMs();
  if (warm) demo::WarmUpScenes(width, height);
  glFinish();
  std::printf("warm-up         %8.2f ms CPU %8.2f ms wall%s\n", CpuMs() - cpu0, WallMs() - wall0,
              warm ? "" : " (FIRST_FRAMES_COLD: none)");
  particle::SeedRandom(1);

  // Distinct scene starts in Timeline order, with the names that begin there.
  struct Start {
    int32_t firstMs;
    std::string names;
    std::vector<double> cpu, wall;
  };
  std::vector<Start> starts;
  for (const demo::TimelineRow& row : demo::Timeline) {
    const int32_t first = row.HasLowerBound ? row.FirstMs : 0;
    if (!starts.empty() && starts.back().firstMs == first)
      starts.back().names += std::string(" + ") + row.Name;
    else
      starts.push_back({first, row.Name, {}, {}});
  }

  size_t current = 0;  // the start whose frames are drawn
  for (int32_t t = 0; t <= demo::kEndMs; t += demo::kFramePaceMs) {
    while (current + 1 < starts.size() && t >= starts[current + 1].firstMs) ++current;
    Start& s = starts[current];
    const int index = static_cast<int>(s.cpu.size());
    const bool nextStartsSoon = current + 1 < starts.size() &&
                                t + kCountedBefore * demo::kFramePaceMs >= starts[current + 1].firstMs;
    const bool counted = RUNNING_ON_VALGRIND && (index < kShownFirst || nextStartsSoon);
    if (counted) CALLGRIND_START_INSTRUMENTATION;
    const double cpu = CpuMs(), wall = WallMs();
    demo::DrawTimelineFrame(t);
    glFinish();
    s.cpu.push_back(CpuMs() - cpu);
    s.wall.push_back(WallMs() - wall);
    if (counted) {
      CALLGRIND_STOP_INSTRUMENTATION;
      CALLGRIND_DUMP_STATS_AT(("frame " + std::to_string(t) + " of " + s.names).c_str());
    }
  }

  std::printf("%dx%d, CPU ms (wall ms) of the first frames at each scene start, and the "
              "scene's median\n", width, height);
  for (const Start& s : starts) {
    std::printf("  %5d ms ", s.firstMs);
    for (int k = 0; k < kShownFirst && k < static_cast<int>(s.cpu.size()); ++k)
      std::printf(" %7.2f (%7.2f)", s.cpu[k], s.wall[k]);
    std::printf("  median %6.2f (%6.2f)  %s\n", Median(s.cpu), Median(s.wall), s.names.c_str());
  }
  window::CloseOffscreenContext();
  return 0;
}
