// The timing report: every frame of the Timeline drawn at the chosen size and again
// at a tiny viewport, each routine timed alone between glFinish calls, its fragments
// counted by texture mode and turned into a fill bound with per-fragment costs that
// are measured again and again through the run. Times are taken twice: as wall time
// and as the process's CPU time (all threads, llvmpipe's rasterizer threads
// included), which other processes on a shared machine do not inflate.
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "demo/gl_state.h"
#include "demo/timeline.h"
#include "framework/texture/texture.h"
#include "gl_probe.h"
#include "modes.h"
#include "progress.h"
#include "scenes/globals.h"

namespace render {

namespace {

// Wall and CPU time together, in ms.
struct Times {
  double Wall = 0.0;
  double Cpu = 0.0;
};

double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

class Stopwatch {
 public:
  Stopwatch() : wall_(std::chrono::steady_clock::now()), cpu_(CpuMs()) {}
  Times Elapsed() const {
    return {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall_)
                .count(),
            CpuMs() - cpu_};
  }

 private:
  std::chrono::steady_clock::time_point wall_;
  double cpu_;
};

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  // nearest rank
  const size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * values.size()));
  return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}
double Median(const std::vector<double>& values) { return Percentile(values, 50.0); }

// What drawing costs per fragment in each texture mode, and per clear, in ms.
struct FillCost {
  double PerFragment[probe::ModeCount] = {};
  double PerClear = 0.0;

  double Bound(const probe::Counts& counts, int32_t clears) const {
    double ms = PerClear * clears;
    for (int m = 0; m < probe::ModeCount; ++m) ms += PerFragment[m] * static_cast<double>(counts[m]);
    return ms;
  }
};

// A 256 x 256 pattern with the filters and wrapping of the production's textures.
texture::CanvasTexture* MakeCalibrationTexture(bool mipmapped) {
  texture::CanvasTexture* canvas = texture::Create(256, 256, 4, mipmapped);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x)
      texture::SetPixelRGBA(canvas, x, y, static_cast<uint8_t>(x ^ y),
                            static_cast<uint8_t>(x * 3 + y), static_cast<uint8_t>(y * 5), 255);
  texture::Upload(canvas);
  return canvas;
}

// Time of one blended quad over the whole viewport (texture repeated `repeat` times
// across it), measured the way the scenes are timed: queries open, glFinish after.
Times TimeFullScreenQuad(GLuint texture, float repeat, int quads) {
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -1.0f);
  glColor4f(1.0f, 1.0f, 1.0f, 0.5f);
  if (texture) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
  } else {
    glDisable(GL_TEXTURE_2D);
  }
  glFinish();
  probe::BeginCounting();
  const Stopwatch watch;
  for (int q = 0; q < quads; ++q) {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, repeat);
    glVertex3f(-10.0f, -10.0f, 0.0f);
    glTexCoord2f(repeat, repeat);
    glVertex3f(10.0f, -10.0f, 0.0f);
    glTexCoord2f(repeat, 0.0f);
    glVertex3f(10.0f, 10.0f, 0.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-10.0f, 10.0f, 0.0f);
    glEnd();
  }
  probe::EndCounting();
  glFinish();
  Times t = watch.Elapsed();
  probe::Fragments();
  return {t.Wall / quads, t.Cpu / quads};
}

Times TimeClear(int clears) {
  glFinish();
  const Stopwatch watch;
  for (int i = 0; i < clears; ++i) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glFinish();
  const Times t = watch.Elapsed();
  return {t.Wall / clears, t.Cpu / clears};
}

// Fill costs measured again and again through the run, so that a busy machine
// (other processes on the cores) raises the bound as it raises the frame times.
class Calibration {
 public:
  enum Variant { Plain, LinearMag, LinearMin, MipMag, MipMin, Clear, VariantCount };

  explicit Calibration(FrameSize size)
      : pixels_(static_cast<double>(size.Width) * size.Height),
        linear_(MakeCalibrationTexture(false)),
        mip_(MakeCalibrationTexture(true)) {}
  ~Calibration() {
    texture::Destroy(linear_);
    texture::Destroy(mip_);
  }

  // Measures every variant once; leaves the GL state as it found it.
  void Sample(int quads) {
    glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_TEXTURE_BIT);
    glPushMatrix();
    Add(Plain, TimeFullScreenQuad(0, 1.0f, quads));
    Add(LinearMag, TimeFullScreenQuad(linear_->Name, 1.0f, quads));
    Add(LinearMin, TimeFullScreenQuad(linear_->Name, 8.0f, quads));
    Add(MipMag, TimeFullScreenQuad(mip_->Name, 1.0f, quads));
    Add(MipMin, TimeFullScreenQuad(mip_->Name, 8.0f, quads));
    Add(Clear, TimeClear(quads));
    glPopMatrix();
    glPopAttrib();
  }

  // Texture modes cost the mean of a magnified and a minified quad (scenes do both).
  // Medians of the samples first to last (all by default): the machine's load drifts,
  // so a frame is best measured against the samples taken around it.
  FillCost Cost(bool cpu, size_t first = 0, size_t last = SIZE_MAX) const {
    auto m = [&](Variant v) {
      const std::vector<double>& all = cpu ? cpu_[v] : wall_[v];
      last = std::min(last, all.size() - 1);
      return Median(std::vector<double>(all.begin() + static_cast<long>(std::min(first, last)),
                                        all.begin() + static_cast<long>(last) + 1));
    };
    FillCost cost;
    cost.PerFragment[probe::Untextured] = m(Plain) / pixels_;
    cost.PerFragment[probe::Linear] = (m(LinearMag) + m(LinearMin)) / 2 / pixels_;
    cost.PerFragment[probe::Mipmapped] = (m(MipMag) + m(MipMin)) / 2 / pixels_;
    cost.PerClear = m(Clear);
    return cost;
  }

  std::string Describe(bool cpu) const {
    auto m = [&](Variant v) { return Median(cpu ? cpu_[v] : wall_[v]); };
    char text[256];
    std::snprintf(text, sizeof text,
                  "untextured %.2f, linear %.2f (magnified) / %.2f (minified), mipmapped "
                  "%.2f / %.2f, a clear %.2f",
                  m(Plain), m(LinearMag), m(LinearMin), m(MipMag), m(MipMin), m(Clear));
    return text;
  }

  size_t Samples() const { return wall_[0].size(); }
  void Forget() {
    for (auto& v : wall_) v.clear();
    for (auto& v : cpu_) v.clear();
  }

 private:
  void Add(Variant v, Times t) {
    wall_[v].push_back(t.Wall);
    cpu_[v].push_back(t.Cpu);
  }

  double pixels_;
  texture::CanvasTexture* linear_;
  texture::CanvasTexture* mip_;
  std::vector<double> wall_[VariantCount], cpu_[VariantCount];
};

// What one routine call, or one frame, drew and took.
struct Draw {
  int32_t Frame = 0;  // clock / 15
  Times Time;
  probe::Counts Fragments{};
  int32_t Clears = 0;
};

struct Samples {
  std::vector<Draw> Full;   // at the chosen size
  std::vector<Times> Tiny;  // at the tiny viewport
};

struct Pass {
  std::map<std::string, Samples> Routines;
  std::map<std::string, Samples> Scenes;
  std::vector<std::string> RoutineOrder, SceneOrder;
  Samples All;
};

Samples& Entry(std::map<std::string, Samples>& map, std::vector<std::string>& order,
               const std::string& name) {
  auto it = map.find(name);
  if (it == map.end()) {
    order.push_back(name);
    it = map.emplace(name, Samples{}).first;
  }
  return it->second;
}

void Add(Draw& sum, const Draw& d) {
  sum.Time.Wall += d.Time.Wall;
  sum.Time.Cpu += d.Time.Cpu;
  sum.Clears += d.Clears;
  for (int m = 0; m < probe::ModeCount; ++m) sum.Fragments[m] += d.Fragments[m];
}

constexpr int CalibrationEvery = 100;  // frames

// Draws the frames of the Timeline from clock first to last as DrawTimelineFrame
// does, timing each routine alone. tiny: record the times into Tiny only.
void RunPass(Pass& pass, int32_t first, int32_t last, Calibration* calibration, bool tiny,
             ProgressBar& bar, int64_t doneBefore, int64_t total) {
  int64_t done = doneBefore;
  for (int32_t clock = first; clock <= last; clock += FrameStepMs) {
    Draw frame;
    frame.Frame = (clock - first) / FrameStepMs;
    if (calibration && frame.Frame % CalibrationEvery == 0) calibration->Sample(4);
    scenes::SceneClock = clock;
    const char* scene = nullptr;
    for (const demo::TimelineRow& row : demo::Timeline) {
      if (!demo::RowContains(row, clock)) continue;
      probe::BeginCounting();
      const Stopwatch watch;
      row.Routine();
      probe::EndCounting();
      glFinish();
      Draw call;
      call.Frame = frame.Frame;
      call.Time = watch.Elapsed();
      call.Fragments = probe::Fragments();
      call.Clears = probe::Clears();
      Samples& r = Entry(pass.Routines, pass.RoutineOrder, row.Name);
      if (tiny)
        r.Tiny.push_back(call.Time);
      else
        r.Full.push_back(call);
      Add(frame, call);
      if (!scene) scene = row.Name;
    }
    bar.Update(++done, total);
    if (!scene) continue;
    for (Samples* s : {&Entry(pass.Scenes, pass.SceneOrder, scene), &pass.All}) {
      if (tiny)
        s->Tiny.push_back(frame.Time);
      else
        s->Full.push_back(frame);
    }
  }
}

constexpr double BudgetMs = 15.0;
constexpr double OwnCostTargetMs = 1.5;

struct Figures {
  size_t Frames = 0;
  double WallMedian = 0, WallP95 = 0, WallFill = 0;
  double CpuMedian = 0, CpuFill = 0;
  double OwnCpu = 0, OwnWall = 0;
  double MFragments = 0;
};

// The fill costs for each frame: the calibration samples taken just before and after
// its block of frames, and one more either side.
struct LocalCosts {
  std::vector<FillCost> Wall, Cpu;  // per block of CalibrationEvery frames
  const FillCost& WallAt(int32_t frame) const { return Wall[std::min<size_t>(frame / CalibrationEvery, Wall.size() - 1)]; }
  const FillCost& CpuAt(int32_t frame) const { return Cpu[std::min<size_t>(frame / CalibrationEvery, Cpu.size() - 1)]; }
};

LocalCosts MakeLocalCosts(const Calibration& c) {
  LocalCosts costs;
  const size_t blocks = c.Samples() > 1 ? c.Samples() - 1 : 1;
  for (size_t k = 0; k < blocks; ++k) {
    const size_t first = k > 0 ? k - 1 : 0;
    costs.Wall.push_back(c.Cost(false, first, k + 2));
    costs.Cpu.push_back(c.Cost(true, first, k + 2));
  }
  return costs;
}

Figures Summarise(const Samples& s, const LocalCosts& costs) {
  Figures f;
  f.Frames = s.Full.size();
  std::vector<double> wall, cpu, wallFill, cpuFill, ownWall, ownCpu;
  double fragments = 0.0;
  for (const Draw& d : s.Full) {
    wall.push_back(d.Time.Wall);
    cpu.push_back(d.Time.Cpu);
    wallFill.push_back(costs.WallAt(d.Frame).Bound(d.Fragments, d.Clears));
    cpuFill.push_back(costs.CpuAt(d.Frame).Bound(d.Fragments, d.Clears));
    for (uint64_t c : d.Fragments) fragments += static_cast<double>(c);
  }
  for (const Times& t : s.Tiny) {
    ownWall.push_back(t.Wall);
    ownCpu.push_back(t.Cpu);
  }
  f.WallMedian = Median(wall);
  f.WallP95 = Percentile(wall, 95);
  f.WallFill = Median(wallFill);
  f.CpuMedian = Median(cpu);
  f.CpuFill = Median(cpuFill);
  f.OwnWall = Median(ownWall);
  f.OwnCpu = Median(ownCpu);
  f.MFragments = f.Frames ? fragments / static_cast<double>(f.Frames) / 1e6 : 0.0;
  return f;
}

double Ratio(double a, double b) { return b > 0 ? a / b : 0.0; }

// The targets: own cost at most 1.5 ms (CPU time at the tiny viewport, which is what
// a quiet machine's wall time would be); the median at most 1.25 x fill + 1 ms (in
// CPU time, so both sides see the same machine); and the wall median within 15 ms
// wherever the wall fill bound leaves room for it.
std::string Verdict(const Figures& f) {
  std::string v;
  if (f.OwnCpu > OwnCostTargetMs) v += " own>1.5";
  if (f.CpuMedian > 1.25 * f.CpuFill + 1.0) v += " >1.25fill+1";
  if (f.WallMedian > BudgetMs && 1.25 * f.WallFill + 1.0 <= BudgetMs) v += " >15ms";
  return v.empty() ? "ok" : v.substr(1);
}

void PrintHeader(const char* first, bool verdict) {
  std::printf("%-19s %6s | %7s %7s %7s %5s | %7s %7s %5s | %6s %6s | %6s%s\n", "", "",
              "wall", "", "", "", "cpu", "", "", "own", "", "", "");
  std::printf("%-19s %6s | %7s %7s %7s %5s | %7s %7s %5s | %6s %6s | %6s%s\n", first,
              "frames", "median", "p95", "fill", "ratio", "median", "fill", "ratio", "cpu",
              "wall", "Mfrag", verdict ? "  targets" : "");
}

void PrintRow(const std::string& name, const Figures& f, bool verdict) {
  std::printf("%-19s %6zu | %7.2f %7.2f %7.2f %5.2f | %7.2f %7.2f %5.2f | %6.2f %6.2f | %6.3f",
              name.c_str(), f.Frames, f.WallMedian, f.WallP95, f.WallFill,
              Ratio(f.WallMedian, f.WallFill), f.CpuMedian, f.CpuFill,
              Ratio(f.CpuMedian, f.CpuFill), f.OwnCpu, f.OwnWall, f.MFragments);
  if (verdict) std::printf("  %s", Verdict(f).c_str());
  std::printf("\n");
}

std::string LoadAverage() {
  FILE* f = std::fopen("/proc/loadavg", "r");
  if (!f) return "?";
  char text[64] = {};
  if (!std::fgets(text, sizeof text, f)) text[0] = 0;
  std::fclose(f);
  std::string s = text;
  const size_t third = s.find(' ', s.find(' ', s.find(' ') + 1) + 1);
  return s.substr(0, third);
}

}  // namespace

int RunTiming(const Job& job) {
  if (job.TinySize.Width > job.Size.Width || job.TinySize.Height > job.Size.Height) {
    PrintError("--tiny must not be larger than --size");
    return 2;
  }
  std::string error;
  if (!StartProduction(job.Size, job.Seed, error)) {
    PrintError(error);
    return 1;
  }
  const std::string loadBefore = LoadAverage();
  const int32_t first = FrameClockAt(job.FromMs);
  const int32_t last = FrameClockAt(job.ToMs);
  const int64_t framesPerPass = (last - first) / FrameStepMs + 1;
  Pass pass;
  LocalCosts costs;
  std::string wallText, cpuText;
  size_t calibrationSamples = 0;
  {
    Calibration calibration(job.Size);
    calibration.Sample(4);  // compiles llvmpipe's shaders for these states
    calibration.Forget();
    ProgressBar bar("timing", job.ShowProgress);
    RestartScenes(job.Seed);
    FastForward(0, first - FrameStepMs, job.Size);
    RunPass(pass, first, last, &calibration, false, bar, 0, 2 * framesPerPass);
    calibration.Sample(4);
    costs = MakeLocalCosts(calibration);
    wallText = calibration.Describe(false);
    cpuText = calibration.Describe(true);
    calibrationSamples = calibration.Samples();
    // The same frames again in a corner the size of the tiny viewport; the scissor
    // keeps the clears there too.
    RestartScenes(job.Seed);
    FastForward(0, first - FrameStepMs, job.Size);
    demo::InitGLState(job.TinySize.Width, job.TinySize.Height);
    glScissor(0, 0, job.TinySize.Width, job.TinySize.Height);
    glEnable(GL_SCISSOR_TEST);
    RunPass(pass, first, last, nullptr, true, bar, framesPerPass, 2 * framesPerPass);
    glDisable(GL_SCISSOR_TEST);
  }
  StopProduction();

  std::printf(
      "Lumetra timing at %dx%d (own cost at %dx%d), seed %u, %zu frames of 15 ms, clocks %d "
      "to %d\n",
      job.Size.Width, job.Size.Height, job.TinySize.Width, job.TinySize.Height, job.Seed,
      pass.All.Full.size(), first, last);
  std::printf("Load average before and after: %s / %s\n", loadBefore.c_str(),
              LoadAverage().c_str());
  std::printf(
      "A full-screen blended quad, ms (medians of %zu samples through the run; each frame's\n"
      "fill bound uses the samples taken around it):\n",
      calibrationSamples);
  std::printf("  wall: %s\n  cpu:  %s\n\n", wallText.c_str(), cpuText.c_str());
  std::printf("Per routine (each call timed alone, glFinish before and after):\n");
  PrintHeader("routine", false);
  for (const std::string& name : pass.RoutineOrder)
    PrintRow(name, Summarise(pass.Routines[name], costs), false);
  std::printf("\nPer frame, grouped by the frame's scene routine (its overlays included):\n");
  PrintHeader("scene", true);
  for (const std::string& name : pass.SceneOrder)
    PrintRow(name, Summarise(pass.Scenes[name], costs), true);
  PrintRow("all frames", Summarise(pass.All, costs), true);
  double total = 0.0;
  size_t over = 0;
  for (const Draw& d : pass.All.Full) {
    total += d.Time.Wall;
    over += d.Time.Wall > BudgetMs;
  }
  std::printf(
      "\n%zu of %zu frames over 15 ms wall; the whole run draws in %.1f s (%.1f frames per "
      "second).\n",
      over, pass.All.Full.size(), total / 1000.0,
      static_cast<double>(pass.All.Full.size()) / (total / 1000.0));
  std::printf(
      "\nTimes in ms per frame (per call in the first table), glFinish included.\n"
      "wall: time on the clock. cpu: the process's CPU time over all its threads (llvmpipe\n"
      "  rasterizes on several), which other processes on the machine do not inflate.\n"
      "fill: median fill bound: each texture mode's fragments times that mode's cost per\n"
      "  fragment (measured around that frame), plus the clears. ratio: median / fill.\n"
      "own: CPU and wall median of the same frames at the tiny viewport, where fill is\n"
      "  negligible: the code's own cost (scene logic, GL submission, matrices, uploads).\n"
      "Mfrag: million fragments per frame, counted by occlusion query (the depth test is\n"
      "  off, so every drawn fragment counts).\n"
      "targets: own cpu at most 1.5; cpu median at most 1.25 x cpu fill + 1; wall median\n"
      "  at most 15 where 1.25 x wall fill + 1 leaves room for it.\n");
  return 0;
}

}  // namespace render
