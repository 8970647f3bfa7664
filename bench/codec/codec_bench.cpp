// Throughput of the tqz decoder and encoder in megapixels per second on RGB
// pictures of 256 x 256 and 512 x 512, libpng decoding the same pictures as PNG,
// the time to decode a set of eight pictures like the production's, and the
// decoder's peak memory in bytes per pixel for a grey and a colour 1024 x 1024 picture.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// Encoded with the tqz tool's defaults: depth 0, 8 value bits, no threshold; grey
// pictures take the colour picture's green channel.
std::string TqzFile(int size, int channels = 3) {
  const std::string path =
      ScratchFile("pic" + std::to_string(size) + "c" + std::to_string(channels) + ".tqz");
  if (!std::filesystem::exists(path)) {
    auto rows = Picture(size, 7);
    if (channels == 1)
      for (size_t p = 0; p < size_t(size) * size; ++p) rows[p] = rows[3 * p + 1];
    codec::EncodeImage(path, rows.data(), size, size, channels, 0, 8, 0);
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

// A line of /proc/self/status in kB, as bytes ("VmRSS", "VmHWM").
uint64_t StatusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, field.size() + 1, field + ":") == 0)
      return std::stoull(line.substr(field.size() + 1)) * 1024;
  return 0;
}

// Peak resident memory that one decode adds, in bytes per pixel: the kernel's
// high-water mark is reset to the current size before the call (clear_refs 5) and
// read after it. Large blocks are mapped and unmapped on every allocation
// (mallopt in main), so what earlier decodes freed is not resident any more.
void BM_DecodePeakMemory(benchmark::State& state) {
  const int size = 1024, channels = int(state.range(0));
  const std::string path = TqzFile(size, channels);
  codec::ImageHeader header;
  double peak = 0;
  for (auto _ : state) {
    std::ofstream("/proc/self/clear_refs") << "5";
    const uint64_t before = StatusBytes("VmRSS");
    uint8_t* pixels = nullptr;
    codec::DecodeImageFile(pixels, header, path, true);
    const uint64_t high = StatusBytes("VmHWM");
    std::free(pixels);
    if (high == 0 || before == 0) {
      state.SkipWithError("no /proc/self/status here");
      return;
    }
    peak = std::max(peak, double(high - std::min(high, before)));
  }
  const double pixels = double(size) * size;
  state.counters["peak_B/px"] = peak / pixels;
  state.counters["peak_B/px/ch"] = peak / pixels / channels;
  state.SetLabel(channels == 1 ? "grey 1024x1024" : "colour 1024x1024");
}

}  // namespace

BENCHMARK(BM_DecodePeakMemory)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Decode)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecode)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeProductionSet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDataPictures)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  mallopt(M_MMAP_THRESHOLD, 64 * 1024);  // fixed: big blocks always mapped, see above
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(std::filesystem::path(ScratchFile("x")).parent_path());
  return 0;
}
