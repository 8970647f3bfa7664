#include "framework/particle/random.h"

#include <random>

#include "framework/window/window.h"

namespace particle {

namespace {
RandomState generator{1};
}  // namespace

// Uniform in [0, n) by Lemire's multiply-and-shift with rejection, written out rather
// than left to std::uniform_int_distribution, whose method differs between standard
// libraries: the same seed gives the same draws in every build (desktop and browser).
int32_t Random(int32_t n) {
  if (n <= 0) return 0;
  const uint32_t range = static_cast<uint32_t>(n);
  uint64_t product = uint64_t{generator()} * range;
  if (static_cast<uint32_t>(product) < range) {
    const uint32_t threshold = (0u - range) % range;
    while (static_cast<uint32_t>(product) < threshold) product = uint64_t{generator()} * range;
  }
  return static_cast<int32_t>(product >> 32);
}

void Randomize() { generator.seed(static_cast<uint32_t>(window::TickCount())); }

void SeedRandom(uint32_t seed) { generator.seed(seed); }

RandomState SaveRandom() { return generator; }

void RestoreRandom(const RandomState& state) { generator = state; }

}  // namespace particle
