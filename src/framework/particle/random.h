// The system's one pseudo-random generator, seeded from the tick count at start-up
// (or explicitly by tests and tools).
#pragma once

#include <cstdint>
#include <random>

namespace particle {

// Uniform integer from 0 to n - 1.
int32_t Random(int32_t n);
// Seeds from the tick count, so every run differs.
void Randomize();
void SeedRandom(uint32_t seed);

// The generator as it stands, to draw ahead and then go back to it.
using RandomState = std::mt19937;
RandomState SaveRandom();
void RestoreRandom(const RandomState& state);

}  // namespace particle
