// Measures the music clock as the frame loop sees it: plays an MP3 on the audible
// output (run with SDL_AUDIODRIVER=disk on a machine without sound) and reads the
// position every millisecond. Reports the steps between consecutive reads (also
// less the steady time between them), the drift against the steady clock, and, on
// the disk driver, how far the position is from the sound written so far.
//   bench_music_clock [file.mp3] [seconds]
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "music/fsound.h"
#include "music/music.h"

int main(int argc, char** argv) {
  using namespace music;
  using Clock = std::chrono::steady_clock;
  const char* path = argc > 1 ? argv[1] : "data/lumetra.mp3";
  const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;

  FSOUND_SetOutput(FSOUND_OUTPUT_AUDIBLE);
  if (!FSOUND_Init(44100, 16, 0)) {
    std::fprintf(stderr, "%s\n", SoundErrorText(FSOUND_GetError()));
    return 1;
  }
  FSOUND_STREAM* stream = FSOUND_Stream_OpenFile(path, 43, 0);
  if (!stream || FSOUND_Stream_Play(-1, stream) < 0) {
    std::fprintf(stderr, "%s: %s\n", path, SoundErrorText(FSOUND_GetError()));
    return 1;
  }
  const char* disk = std::getenv("SDL_DISKAUDIOFILE");
  auto start = Clock::now();
  auto last = start;
  std::vector<double> stepErrors;  // |position step - steady step|, ms
  std::vector<double> behindDisk;  // sound written minus position, ms
  int32_t first = FSOUND_Stream_GetTime(stream);
  int32_t previous = first;
  std::vector<int32_t> steps;
  std::vector<double> drift;  // position minus steady time, ms
  double elapsed = 0;
  while (elapsed < seconds * 1000.0) {
    usleep(1000);
    int32_t now = FSOUND_Stream_GetTime(stream);
    auto t = Clock::now();
    elapsed = std::chrono::duration<double, std::milli>(t - start).count();
    stepErrors.push_back(
        std::abs((now - previous) - std::chrono::duration<double, std::milli>(t - last).count()));
    last = t;
    struct stat info{};
    if (disk && stat(disk, &info) == 0) behindDisk.push_back(info.st_size / 176.4 - now);
    steps.push_back(now - previous);
    drift.push_back(now - first - elapsed);
    previous = now;
  }
  std::vector<int32_t> sorted = steps;
  std::sort(sorted.begin(), sorted.end());
  auto [low, high] = std::minmax_element(drift.begin(), drift.end());
  std::printf("reads: %zu over %.1f s (one every %.3f ms)\n", steps.size(), elapsed / 1000,
              elapsed / steps.size());
  std::printf("step between reads: median %d ms, 99.9th percentile %d ms, largest %d ms, "
              "smallest %d ms\n",
              sorted[sorted.size() / 2], sorted[sorted.size() * 999 / 1000], sorted.back(),
              sorted.front());
  std::sort(stepErrors.begin(), stepErrors.end());
  std::printf("step less steady time between the reads: median %.2f ms, 99.9th percentile "
              "%.2f ms, largest %.2f ms\n",
              stepErrors[stepErrors.size() / 2], stepErrors[stepErrors.size() * 999 / 1000],
              stepErrors.back());
  if (!behindDisk.empty()) {
    auto [near, far] = std::minmax_element(behindDisk.begin(), behindDisk.end());
    std::printf("sound written minus position: %.1f to %.1f ms (one buffer is 23.2 ms)\n",
                *near, *far);
  }
  std::printf("drift against the steady clock: %+.1f ms at the end (range %+.1f to %+.1f ms)\n",
              drift.back(), *low, *high);
  std::printf("rate: %.5f of real time\n", (previous - first) / elapsed);
  FSOUND_Stream_Close(stream);
  FSOUND_Close();
  return 0;
}
