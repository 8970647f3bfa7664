// Benchmarks of the plasma generator with its upload, against a plain per-pixel
// version, and the draw time of each plasma and greetings scene (one frame with
// glFinish per repetition, 100 repetitions: read the median) at 64 x 48 and 640 x 480.
// Run from the build directory so data/ is found:  ./bench_plasma
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "demo/gl_state.h"
#include "demo/startup.h"
#include "demo/timeline.h"
#include "framework/particle/random.h"
#include "framework/window/window.h"
#include "scenes/globals.h"
#include "scenes/greetings.h"
#include "scenes/plasma.h"

namespace {

using namespace scenes;

constexpr int kPlasmaPixels = 256 * 256;

// The pictures the scenes draw; without them only the generator is measured.
bool HavePictures() {
  for (const char* name : {"intro1", "checkers", "checkers2", "flare", "flare2", "greets1",
                           "greets2", "greets3"}) {
    if (!std::filesystem::exists(std::string("data/") + name + ".tqz")) return false;
  }
  return true;
}

bool pictures = false;
int contextWidth = 0;
int contextHeight = 0;

// Makes the offscreen context of the given size current, with the driver's start-up
// done in it. Benchmarks are registered grouped by size, so this reopens rarely.
void UseContext(int width, int height) {
  if (width == contextWidth && height == contextHeight) return;
  if (contextWidth != 0) {
    demo::DestroyParticlePool();
    if (pictures) demo::DestroyTextureBank();
    window::CloseOffscreenContext();
  }
  if (!window::OpenOffscreenContext(width, height)) std::exit(1);
  contextWidth = width;
  contextHeight = height;
  demo::InitGLState(width, height);
  demo::BuildTables();
  if (pictures) {
    demo::LoadTextureBank();
  } else {
    Textures.canvas = texture::Create(256, 256, 4, false);
  }
  demo::CreateParticlePool();
  demo::ResetSceneGlobals();
  particle::SeedRandom(1);
}

// The generator as a plain transcription: per pixel look-ups and SetPixelRGBA, in
// column order. The baseline the production version is measured against.
void PlainPlasma() {
  const int t = PlasmaPhase;
  for (int x = 0; x <= 255; ++x) {
    const int a = 30 * SinTab[(2 * x + 2 * t) % 360] + 20 * SinTab[(x + t) % 360] +
                  40 * SinTab[((x >> 1) + (t >> 2)) % 360];
    for (int y = 0; y <= 255; ++y) {
      const int b = 30 * SinTab[((y >> 2) + 2 * t) % 360] + 20 * SinTab[(y + t) % 360] +
                    20 * SinTab[(2 * y + (t >> 2)) % 360];
      const int s = (a + b) >> 10;
      const auto grey = static_cast<uint8_t>(s);
      texture::SetPixelRGBA(Textures.canvas, x, y, grey, grey, grey,
                            static_cast<uint8_t>(255 - s));
    }
  }
  texture::Upload(Textures.canvas);
}

void BM_UpdatePlasmaTexture(benchmark::State& state) {
  UseContext(64, 48);
  for (auto _ : state) {
    UpdatePlasmaTexture();
    glFinish();
    ++PlasmaPhase;
  }
  state.SetItemsProcessed(state.iterations() * kPlasmaPixels);
}

void BM_PlainPlasmaWithUpload(benchmark::State& state) {
  UseContext(64, 48);
  for (auto _ : state) {
    PlainPlasma();
    glFinish();
    ++PlasmaPhase;
  }
  state.SetItemsProcessed(state.iterations() * kPlasmaPixels);
}

void BM_CanvasUploadOnly(benchmark::State& state) {
  UseContext(64, 48);
  for (auto _ : state) {
    texture::Upload(Textures.canvas);
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * kPlasmaPixels);
}

// One scene frame per repetition; the first repetition first draws warmUp frames so
// the scene is in its steady state (set-up done, bands in place).
struct SceneCase {
  const char* name;
  void (*routine)();
  int32_t clock;   // SceneClock while drawing
  int warmUp;      // frames drawn before measuring
  bool greetings;  // the greetings room needs its set-up before the fade scene
};

const SceneCase kScenes[] = {
    {"PlasmaScene1", PlasmaScene1, 38000, 20, false},
    {"PlasmaScene2", PlasmaScene2, 45000, 20, false},
    {"PlasmaScene3", PlasmaScene3, 52000, 20, false},
    {"GreetingsScene", GreetingsScene, 60000, 140, true},
    {"GreetingsFadeScene", GreetingsFadeScene, 68000, 0, true},
};

void BM_SceneFrame(benchmark::State& state, const SceneCase* scene, int width, int height) {
  UseContext(width, height);
  static const SceneCase* warmed = nullptr;
  static int warmedWidth = 0;
  if (warmed != scene || warmedWidth != width) {
    warmed = scene;
    warmedWidth = width;
    ScenePhase = 10;
    if (scene->greetings) {
      SceneClock = 56001;
      for (int i = 0; i < 140; ++i) GreetingsScene();
    }
    SceneClock = scene->clock;
    for (int i = 0; i < scene->warmUp; ++i) scene->routine();
    glFinish();
  }
  SceneClock = scene->clock;
  for (auto _ : state) {
    scene->routine();
    glFinish();
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  pictures = HavePictures();
  if (!pictures) {
    std::fprintf(stderr, "data/ lacks the pictures (run from the build directory after a "
                         "full build): measuring the plasma generator only\n");
  }
  // The generator does not depend on the viewport: measure it once.
  benchmark::RegisterBenchmark("UpdatePlasmaTexture", BM_UpdatePlasmaTexture)
      ->Repetitions(10)->ReportAggregatesOnly(true);
  benchmark::RegisterBenchmark("PlainPlasmaWithUpload", BM_PlainPlasmaWithUpload)
      ->Repetitions(10)->ReportAggregatesOnly(true);
  benchmark::RegisterBenchmark("CanvasUploadOnly", BM_CanvasUploadOnly)
      ->Repetitions(10)->ReportAggregatesOnly(true);
  if (pictures) {
    for (const auto& [w, h] : {std::pair{64, 48}, std::pair{640, 480}}) {
      const std::string suffix = "/" + std::to_string(w) + "x" + std::to_string(h);
      for (const SceneCase& scene : kScenes) {
        benchmark::RegisterBenchmark((scene.name + suffix).c_str(), BM_SceneFrame, &scene, w, h)
            ->Iterations(1)->Repetitions(100)->ReportAggregatesOnly(true)
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
