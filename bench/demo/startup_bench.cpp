// How long the start-up keeps the loading picture on screen beyond its 2000 ms:
// the tables, the eight pictures, the canvas and the pool (the driver's steps
// after the loading screen), and each picture's load on its own.
//
//   bench_startup [--benchmark_repetitions=N ...]
// Uses build/data when it holds all pictures, otherwise 256 x 256 stand-ins.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "demo/gl_state.h"
#include "demo/startup.h"
#include "framework/texture/texture.h"
#include "framework/window/window.h"
#include "scenes/globals.h"
#include "support/test_pictures.h"

namespace {

const char* const Pictures[] = {"intro1", "checkers", "checkers2", "flare",
                                "flare2", "greets1",  "greets2",   "greets3"};
const bool Mipmapped[] = {false, false, false, false, true, true, true, false};

std::unique_ptr<testsupport::TempDir> standIns;

std::string PictureFolder() {
  bool complete = true;
  for (const char* name : Pictures)
    complete = complete && std::filesystem::exists(std::string(LUMETRA_BUILD_DIR) + "/data/" +
                                                   name + ".tqz");
  if (complete) return LUMETRA_BUILD_DIR;
  std::fprintf(stderr, "note: build/data incomplete; using 256 x 256 stand-in pictures\n");
  standIns = std::make_unique<testsupport::TempDir>();
  std::filesystem::create_directory(standIns->File("data"));
  uint32_t seed = 1;
  for (const char* name : Pictures)
    testsupport::WriteTestPicture(standIns->File("data/") + name + ".tqz",
                                  testsupport::PatternPicture(256, 256, 3, seed++));
  return standIns->Path();
}

void BM_LoadingSteps(benchmark::State& state) {
  for (auto _ : state) {
    demo::BuildTables();
    demo::LoadTextureBank();
    demo::CreateParticlePool();
    glFinish();
    state.PauseTiming();
    demo::DestroyParticlePool();
    demo::DestroyTextureBank();
    texture::Destroy(scenes::Textures.canvas);
    scenes::Textures.canvas = nullptr;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadingSteps)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_LoadPicture(benchmark::State& state) {
  const int i = static_cast<int>(state.range(0));
  const std::string file = std::string("data/") + Pictures[i] + ".tqz";
  state.SetLabel(Pictures[i]);
  for (auto _ : state) {
    texture::ImageTexture* t = texture::Load(file, 3, Mipmapped[i]);
    glFinish();
    state.PauseTiming();
    texture::Destroy(t);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadPicture)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);

// The decoder's share of a load.
void BM_DecodePicture(benchmark::State& state) {
  const int i = static_cast<int>(state.range(0));
  const std::string file = std::string("data/") + Pictures[i] + ".tqz";
  state.SetLabel(Pictures[i]);
  for (auto _ : state) benchmark::DoNotOptimize(testsupport::DecodeForTest(file));
}
BENCHMARK(BM_DecodePicture)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);

void BM_Tables(benchmark::State& state) {
  for (auto _ : state) demo::BuildTables();
}
BENCHMARK(BM_Tables)->Unit(benchmark::kMicrosecond);

void BM_CanvasUpload(benchmark::State& state) {
  texture::CanvasTexture* canvas = texture::Create(256, 256, 4, false);
  uint8_t shade = 0;
  for (auto _ : state) {
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) texture::SetPixelRGBA(canvas, x, y, shade, shade, shade, 255);
    texture::Upload(canvas);
    glFinish();
    ++shade;
  }
  texture::Destroy(canvas);
}
BENCHMARK(BM_CanvasUpload)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!window::OpenOffscreenContext(640, 480)) return 1;
  demo::InitGLState(640, 480);
  std::filesystem::current_path(PictureFolder());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  window::CloseOffscreenContext();
  return 0;
}
