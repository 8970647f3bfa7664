// Throughput of the tqz decoder and encoder in megapixels per second on RGB
// pictures of 256 x 256 and 512 x 512, libpng decoding the same pictures as PNG,
// and the time to decode a set of eight pictures like the production's.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "common/png_io.h"

namespace {

// A picture with smooth colour fields, hard-edged shapes and a little grain, like
// the production's textures.
std::vector<uint8_t> Picture(int size, uint32_t seed) {
  std::vector<uint8_t> rows(size_t(size) * size * 3);
  uint32_t noise = seed;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double u = double(x) / size, v = double(y) / size;
      double rgb[3] = {128 + 127 * std::sin(u * 9 + std::sin(v * 5) * 2),
                       128 + 127 * std::sin(v * 7 + u * 3), 128 + 127 * std::sin((u + v) * 6)};
      if ((u - .5) * (u - .5) + (v - .45) * (v - .45) < .06) rgb[0] = 250, rgb[1] = 230, rgb[2] = 120;
      if (v > .75 && v < .85 && (x / 12) % 2 == 0) rgb[0] = 20, rgb[1] = 20, rgb[2] = 40;
      for (int c = 0; c < 3; ++c) {
        noise = noise * 1664525u + 1013904223u;
        const double s = rgb[c] + double(noise >> 29) - 3.5;
        rows[(size_t(y) * size + x) * 3 + c] = uint8_t(std::lround(std::fmin(255, std::fmax(0, s))));
      }
    }
  }
  return rows;
}

std::string ScratchFile(const std::string& name) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("bench_codec_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

// Encoded with the tqz tool's defaults: depth 0, 8 value bits, no threshold.
std::string TqzFile(int size) {
  const std::string path = ScratchFile("pic" + std::to_string(size) + ".tqz");
  if (!std::filesystem::exists(path)) {
    const auto rows = Picture(size, 7);
    codec::EncodeImage(path, rows.data(), size, size, 3, 0, 8, 0);
  }
  return path;
}

std::string PngFile(int size) {
  const std::string path = ScratchFile("pic" + std::to_string(size) + ".png");
  if (!std::filesystem::exists(path)) {
    const auto rows = Picture(size, 7);
    std::string error;
    pngio::WritePng(path, size, size, 3, rows.data(), false, error);
  }
  return path;
}

void SetRate(benchmark::State& state, double pixels) {
  state.counters["MP/s"] =
      benchmark::Counter(pixels * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void BM_Decode(benchmark::State& state) {
  const int size = int(state.range(0));
  const std::string path = TqzFile(size);
  codec::ImageHeader header;
  uint8_t* pixels = nullptr;
  for (auto _ : state) {
    codec::DecodeImageFile(pixels, header, path, true);
    benchmark::DoNotOptimize(pixels);
  }
  std::free(pixels);
  SetRate(state, double(size) * size);
}

void BM_Encode(benchmark::State& state) {
  const int size = int(state.range(0));
  const auto rows = Picture(size, 7);
  const std::string path = ScratchFile("encoded.tqz");
  for (auto _ : state) codec::EncodeImage(path, rows.data(), size, size, 3, 0, 8, 0);
  SetRate(state, double(size) * size);
}

void BM_PngDecode(benchmark::State& state) {
  const int size = int(state.range(0));
  const std::string path = PngFile(size);
  pngio::Image image;
  std::string error;
  for (auto _ : state) {
    pngio::ReadPng(path, image, error);
    benchmark::DoNotOptimize(image.Pixels.data());
  }
  SetRate(state, double(size) * size);
}

// Eight pictures: four of 256 x 256 and four of 512 x 512, decoded as at start-up.
void BM_DecodeProductionSet(benchmark::State& state) {
  std::vector<std::string> paths;
  for (int i = 0; i < 8; ++i) paths.push_back(TqzFile(i < 4 ? 256 : 512));
  codec::ImageHeader header;
  for (auto _ : state) {
    for (const std::string& path : paths) {
      uint8_t* pixels = nullptr;
      codec::DecodeImageFile(pixels, header, path, true);
      benchmark::DoNotOptimize(pixels);
      std::free(pixels);
    }
  }
  SetRate(state, 4.0 * (256 * 256 + 512 * 512));
}

// The production's own eight start-up pictures, when the build has made them (run
// from build/, where data/ is).
void BM_DecodeDataPictures(benchmark::State& state) {
  const char* names[] = {"intro1", "checkers", "checkers2", "flare",
                         "greets1", "greets2", "greets3", "flare2"};
  std::vector<std::string> paths;
  for (const char* name : names) paths.push_back(std::string("data/") + name + ".tqz");
  for (const std::string& path : paths) {
    if (!std::filesystem::exists(path)) {
      state.SkipWithError("no data/*.tqz here: run from build/");
      return;
    }
  }
  codec::ImageHeader header;
  double pixels = 0;
  for (auto _ : state) {
    pixels = 0;
    for (const std::string& path : paths) {
      uint8_t* decoded = nullptr;
      codec::DecodeImageFile(decoded, header, path, true);
      benchmark::DoNotOptimize(decoded);
      std::free(decoded);
      pixels += double(header.Width) * header.Height;
    }
  }
  SetRate(state, pixels);
}

}  // namespace

BENCHMARK(BM_Decode)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecode)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeProductionSet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDataPictures)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(std::filesystem::path(ScratchFile("x")).parent_path());
  return 0;
}
