// The timing report: every frame of the Timeline drawn at the chosen size and again
// at a tiny viewport, each routine timed alone between glFinish calls, its fragments
// counted by texture mode and turned into a fill bound with the per-fragment costs
// measured here at start.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "demo/gl_state.h"
#include "demo/timeline.h"
#include "gl_probe.h"
#include "modes.h"
#include "progress.h"
#include "scenes/globals.h"

namespace render {

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  // nearest rank
  const size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * values.size()));
  return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}
double Median(const std::vector<double>& values) { return Percentile(values, 50.0); }

// What drawing costs per fragment in each texture mode, and per clear.
struct FillCost {
  double MsPerFragment[probe::ModeCount] = {};
  double MsPerClear = 0.0;

  double Bound(const probe::Counts& counts, int32_t clears) const {
    double ms = MsPerClear * clears;
    for (int m = 0; m < probe::ModeCount; ++m) ms += MsPerFragment[m] * counts[m];
    return ms;
  }
};

GLuint MakeCalibrationTexture(bool mipmapped) {
  std::vector<uint8_t> pixels(256 * 256 * 4);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      uint8_t* p = &pixels[4 * (y * 256 + x)];
      p[0] = static_cast<uint8_t>(x ^ y);
      p[1] = static_cast<uint8_t>(x * 3 + y);
      p[2] = static_cast<uint8_t>(y * 5);
      p[3] = 255;
    }
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexImage2D(GL_TEXTURE_2D, 0, 4, 256, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  if (mipmapped) {
    gluBuild2DMipmaps(GL_TEXTURE_2D, 4, 256, 256, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  } else {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  return name;
}

// Time of one blended quad over the whole viewport (texture repeated `repeat` times
// across it), measured the way the scenes are timed: queries open, glFinish after.
double TimeFullScreenQuad(GLuint texture, float repeat, int quads) {
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
  const Clock::time_point start = Clock::now();
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
  const double ms = MsSince(start) / quads;
  probe::Fragments();
  return ms;
}

double TimeClear(int clears) {
  glFinish();
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < clears; ++i) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glFinish();
  return MsSince(start) / clears;
}

// Fill costs measured again and again through the run, so that a busy machine
// (other processes on the cores) raises the bound as it raises the frame times.
class Calibration {
 public:
  explicit Calibration(FrameSize size)
      : pixels_(static_cast<double>(size.Width) * size.Height),
        linear_(MakeCalibrationTexture(false)),
        mip_(MakeCalibrationTexture(true)) {}
  ~Calibration() {
    glDeleteTextures(1, &linear_);
    glDeleteTextures(1, &mip_);
  }

  // Measures every variant once; leaves the GL state as it found it.
  void Sample(int quads) {
    glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_TEXTURE_BIT);
    glPushMatrix();
    samples_[0].push_back(TimeFullScreenQuad(0, 1.0f, quads));
    samples_[1].push_back(TimeFullScreenQuad(linear_, 1.0f, quads));
    samples_[2].push_back(TimeFullScreenQuad(linear_, 8.0f, quads));
    samples_[3].push_back(TimeFullScreenQuad(mip_, 1.0f, quads));
    samples_[4].push_back(TimeFullScreenQuad(mip_, 8.0f, quads));
    samples_[5].push_back(TimeClear(quads));
    glPopMatrix();
    glPopAttrib();
  }

  // Texture modes cost the mean of a magnified and a minified quad (scenes do both).
  FillCost Cost() const {
    FillCost cost;
    cost.MsPerFragment[probe::Untextured] = Median(samples_[0]) / pixels_;
    cost.MsPerFragment[probe::Linear] = (Median(samples_[1]) + Median(samples_[2])) / 2 / pixels_;
    cost.MsPerFragment[probe::Mipmapped] =
        (Median(samples_[3]) + Median(samples_[4])) / 2 / pixels_;
    cost.MsPerClear = Median(samples_[5]);
    return cost;
  }

  std::string Describe() const {
    char text[256];
    std::snprintf(text, sizeof text,
                  "untextured %.2f ms, linear %.2f (magnified) / %.2f (minified), "
                  "mipmapped %.2f / %.2f; a clear %.2f ms (medians of %zu samples)",
                  Median(samples_[0]), Median(samples_[1]), Median(samples_[2]),
                  Median(samples_[3]), Median(samples_[4]), Median(samples_[5]),
                  samples_[0].size());
    return text;
  }

 private:
  double pixels_;
  GLuint linear_, mip_;
  std::vector<double> samples_[6];
};

// What one routine call, or one frame, drew.
struct Draw {
  double Ms;
  probe::Counts Fragments;
  int32_t Clears;
};

struct Samples {
  std::vector<Draw> Full;       // at the chosen size
  std::vector<double> TinyMs;   // at the tiny viewport
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
  sum.Ms += d.Ms;
  sum.Clears += d.Clears;
  for (int m = 0; m < probe::ModeCount; ++m) sum.Fragments[m] += d.Fragments[m];
}

constexpr int CalibrationEvery = 250;  // frames

// Draws every frame of the Timeline as DrawTimelineFrame does, timing each routine
// alone. tiny: record the times into TinyMs only.
void RunPass(Pass& pass, Calibration* calibration, bool tiny, ProgressBar& bar,
             int64_t doneBefore, int64_t total) {
  int64_t done = doneBefore;
  for (int32_t clock = 0; clock <= LastClockMs; clock += FrameStepMs) {
    if (calibration && (clock / FrameStepMs) % CalibrationEvery == 0) calibration->Sample(4);
    scenes::SceneClock = clock;
    Draw frame{};
    const char* scene = nullptr;
    for (const demo::TimelineRow& row : demo::Timeline) {
      if (!demo::RowContains(row, clock)) continue;
      probe::BeginCounting();
      const Clock::time_point start = Clock::now();
      row.Routine();
      probe::EndCounting();
      glFinish();
      const Draw call{MsSince(start), probe::Fragments(), probe::Clears()};
      Samples& r = Entry(pass.Routines, pass.RoutineOrder, row.Name);
      if (tiny)
        r.TinyMs.push_back(call.Ms);
      else
        r.Full.push_back(call);
      Add(frame, call);
      if (!scene) scene = row.Name;
    }
    bar.Update(++done, total);
    if (!scene) continue;
    for (Samples* s : {&Entry(pass.Scenes, pass.SceneOrder, scene), &pass.All}) {
      if (tiny)
        s->TinyMs.push_back(frame.Ms);
      else
        s->Full.push_back(frame);
    }
  }
}

constexpr double BudgetMs = 15.0;
constexpr double OwnCostTargetMs = 1.5;

struct Figures {
  size_t Frames = 0;
  double Median = 0, P95 = 0, MFragments = 0, Fill = 0, Ratio = 0, OwnMedian = 0, OwnP95 = 0;
};

Figures Summarise(const Samples& s, const FillCost& cost) {
  Figures f;
  f.Frames = s.Full.size();
  std::vector<double> ms, fill;
  double fragments = 0.0;
  for (const Draw& d : s.Full) {
    ms.push_back(d.Ms);
    fill.push_back(cost.Bound(d.Fragments, d.Clears));
    for (uint64_t c : d.Fragments) fragments += static_cast<double>(c);
  }
  f.Median = Median(ms);
  f.P95 = Percentile(ms, 95);
  f.MFragments = f.Frames ? fragments / f.Frames / 1e6 : 0.0;
  f.Fill = Median(fill);
  f.Ratio = f.Fill > 0 ? f.Median / f.Fill : 0.0;
  f.OwnMedian = Median(s.TinyMs);
  f.OwnP95 = Percentile(s.TinyMs, 95);
  return f;
}

// Whether a frame group meets the targets: own cost at most 1.5 ms median; the median
// within 1.25 x fill + 1 ms, and within 15 ms where that bound leaves room for it.
std::string Verdict(const Figures& f) {
  std::string v;
  if (f.OwnMedian > OwnCostTargetMs) v += " own>1.5";
  if (f.Median > 1.25 * f.Fill + 1.0) v += " >1.25fill+1";
  if (f.Median > BudgetMs && 1.25 * f.Fill + 1.0 <= BudgetMs) v += " >15ms";
  return v.empty() ? "ok" : v.substr(1);
}

void PrintRow(const std::string& name, const Figures& f, bool verdict) {
  std::printf("%-20s %6zu %8.2f %8.2f %7.3f %8.2f %6.2f %8.2f %8.2f", name.c_str(), f.Frames,
              f.Median, f.P95, f.MFragments, f.Fill, f.Ratio, f.OwnMedian, f.OwnP95);
  if (verdict) std::printf("  %s", Verdict(f).c_str());
  std::printf("\n");
}

void PrintHeader(const char* first, bool verdict) {
  std::printf("%-20s %6s %8s %8s %7s %8s %6s %8s %8s%s\n", first, "frames", "median", "p95",
              "Mfrag", "fill", "ratio", "own med", "own p95", verdict ? "  targets" : "");
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
  const int64_t framesPerPass = LastClockMs / FrameStepMs + 1;
  Pass pass;
  FillCost cost;
  std::string calibrationText;
  {
    Calibration calibration(job.Size);
    calibration.Sample(8);
    ProgressBar bar("timing", job.ShowProgress);
    RestartScenes(job.Seed);
    RunPass(pass, &calibration, false, bar, 0, 2 * framesPerPass);
    calibration.Sample(8);
    cost = calibration.Cost();
    calibrationText = calibration.Describe();
    // The same frames again in a corner the size of the tiny viewport; the scissor
    // keeps the clears there too.
    demo::InitGLState(job.TinySize.Width, job.TinySize.Height);
    glScissor(0, 0, job.TinySize.Width, job.TinySize.Height);
    glEnable(GL_SCISSOR_TEST);
    RestartScenes(job.Seed);
    RunPass(pass, nullptr, true, bar, framesPerPass, 2 * framesPerPass);
    glDisable(GL_SCISSOR_TEST);
  }
  StopProduction();

  std::printf("Lumetra timing at %dx%d (own cost at %dx%d), seed %u, %zu frames of 15 ms\n",
              job.Size.Width, job.Size.Height, job.TinySize.Width, job.TinySize.Height,
              job.Seed, pass.All.Full.size());
  std::printf("Load average before and after: %s / %s (2 cores)\n", loadBefore.c_str(),
              LoadAverage().c_str());
  std::printf("A full-screen blended quad: %s\n\n", calibrationText.c_str());
  std::printf("Per routine (each call timed alone, glFinish before and after):\n");
  PrintHeader("routine", false);
  for (const std::string& name : pass.RoutineOrder)
    PrintRow(name, Summarise(pass.Routines[name], cost), false);
  std::printf("\nPer frame, grouped by the frame's scene routine (its overlays included):\n");
  PrintHeader("scene", true);
  for (const std::string& name : pass.SceneOrder)
    PrintRow(name, Summarise(pass.Scenes[name], cost), true);
  PrintRow("all frames", Summarise(pass.All, cost), true);
  double total = 0.0;
  size_t over = 0;
  for (const Draw& d : pass.All.Full) {
    total += d.Ms;
    over += d.Ms > BudgetMs;
  }
  std::printf(
      "\n%zu of %zu frames over 15 ms; the whole run draws in %.1f s (%.1f frames per second).\n",
      over, pass.All.Full.size(), total / 1000.0, pass.All.Full.size() / (total / 1000.0));
  std::printf(
      "\nTimes in ms. median, p95: time per frame (per call in the first table) at the full\n"
      "size, up to glFinish. Mfrag: million fragments drawn per frame, counted by occlusion\n"
      "query (the depth test is off, so every drawn fragment counts). fill: median fill bound,\n"
      "each texture mode's fragments times that mode's measured cost per fragment, plus the\n"
      "clears. ratio: median / fill. own med, own p95: the same frames at the tiny viewport,\n"
      "where fill is negligible: the code's own cost (scene logic, GL submission, matrices,\n"
      "texture uploads). targets: own cost at most 1.5 ms; median at most 1.25 x fill + 1 ms,\n"
      "and at most 15 ms where that bound leaves room.\n");
  return 0;
}

}  // namespace render
