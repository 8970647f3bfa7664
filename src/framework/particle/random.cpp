#include "framework/particle/random.h"

#include <random>

#include "framework/window/window.h"

namespace particle {

namespace {
std::mt19937 generator{1};
}  // namespace

int32_t Random(int32_t n) {
  if (n <= 0) return 0;
  return static_cast<int32_t>(std::uniform_int_distribution<int32_t>(0, n - 1)(generator));
}

void Randomize() { generator.seed(static_cast<uint32_t>(window::TickCount())); }

void SeedRandom(uint32_t seed) { generator.seed(seed); }

}  // namespace particle
