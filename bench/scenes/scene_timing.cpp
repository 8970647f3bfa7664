// Times one frame of each star, stream and flare scene (glFinish, median over 100
// frames) on the offscreen context, and writes chosen frames as PNG to look at.
// Fill dominates at real sizes; at a tiny viewport what remains is the scenes' own cost.
//
//   scene_timing time WIDTH HEIGHT
//   scene_timing frames DIR MS...   (640 x 480, every 15 ms frame from 0 drawn)
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "common/png_io.h"
#include "demo/gl_state.h"
#include "demo/startup.h"
#include "demo/timeline.h"
#include "framework/particle/random.h"
#include "framework/window/window.h"
#include "scenes/flare_field.h"
#include "scenes/globals.h"
#include "scenes/star_stream.h"

namespace {

bool Open(int width, int height) {
  if (!window::OpenOffscreenContext(width, height)) return false;
  demo::InitGLState(width, height);
  demo::BuildTables();
  demo::LoadTextureBank();
  demo::CreateParticlePool();
  demo::ResetSceneGlobals();
  particle::SeedRandom(1);
  return true;
}

void RunFrames(int32_t from, int32_t to) {
  for (int32_t t = from; t <= to; t += 15) demo::DrawTimelineFrame(t);
}

struct FrameCost {
  double wallMs;  // median wall time
  double cpuMs;   // median CPU time of the whole process, renderer threads included
};

double ProcessCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double Median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// 100 frames of scene at a fixed clock, each finished before the next. The CPU time
// is steadier than the wall time on a shared machine.
FrameCost MeasureFrames(void (*scene)(), int32_t clock) {
  using clock_type = std::chrono::steady_clock;
  scenes::SceneClock = clock;
  std::vector<double> wall, cpu;
  glFinish();
  for (int k = 0; k < 100; ++k) {
    const auto start = clock_type::now();
    const double cpuStart = ProcessCpuMs();
    scene();
    glFinish();
    cpu.push_back(ProcessCpuMs() - cpuStart);
    wall.push_back(std::chrono::duration<double, std::milli>(clock_type::now() - start).count());
  }
  return {Median(wall), Median(cpu)};
}

int Time(int width, int height) {
  if (!Open(width, height)) return 1;
  // Bring the state to each scene the way the timeline does, then time it alone
  // at a clock outside its overlays' windows.
  RunFrames(0, 18000);
  const FrameCost star1 = MeasureFrames(scenes::StarStreamScene1, 18000);
  RunFrames(18015, 24000);
  const FrameCost star2 = MeasureFrames(scenes::StarStreamScene2, 24000);
  RunFrames(24015, 31000);
  const FrameCost flare = MeasureFrames(scenes::FlareFieldScene, 31000);
  std::printf("%d x %d, median of 100 frames (wall ms / CPU ms):\n", width, height);
  std::printf("  StarStreamScene1 %7.3f / %7.3f\n", star1.wallMs, star1.cpuMs);
  std::printf("  StarStreamScene2 %7.3f / %7.3f\n", star2.wallMs, star2.cpuMs);
  std::printf("  FlareFieldScene  %7.3f / %7.3f\n", flare.wallMs, flare.cpuMs);
  return 0;
}

// Draws the 15 ms frames from 0 and saves the frame on screen at each requested
// clock (the one at the largest multiple of 15 not above it) as PNG.
int Frames(const std::string& dir, const std::set<int32_t>& at) {
  constexpr int kWidth = 640, kHeight = 480;
  if (!Open(kWidth, kHeight)) return 1;
  std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
  auto next = at.begin();
  for (int32_t t = 0; next != at.end(); t += 15) {
    demo::DrawTimelineFrame(t);
    for (; next != at.end() && *next < t + 15; ++next) {
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
      const std::string path = dir + "/frame_" + std::to_string(*next) + ".png";
      std::string error;
      if (!pngio::WritePng(path, kWidth, kHeight, 4, pixels.data(), true, error)) {
        std::fprintf(stderr, "scene_timing: %s: %s\n", path.c_str(), error.c_str());
        return 1;
      }
      std::printf("%s\n", path.c_str());
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "time" && argc == 4) return Time(std::atoi(argv[2]), std::atoi(argv[3]));
  if (mode == "frames" && argc > 3) {
    std::set<int32_t> at;
    for (int k = 3; k < argc; ++k) {
      const int32_t ms = std::atoi(argv[k]);
      if (ms < 0) {
        std::fprintf(stderr, "scene_timing: %s is not a clock in ms\n", argv[k]);
        return 2;
      }
      at.insert(ms);
    }
    return Frames(argv[2], at);
  }
  std::fprintf(stderr,
               "usage: scene_timing time WIDTH HEIGHT\n"
               "       scene_timing frames DIR MS...\n");
  return 2;
}
