// The production's start-up and frame stepping in an offscreen context: the same
// routines the program runs, with a synthetic clock of exactly 15 ms per frame.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace render {

constexpr int32_t FrameStepMs = 15;     // the frame loop's pacing limit
constexpr int32_t LastClockMs = 70000;  // the last clock at which a routine runs

struct FrameSize {
  int32_t Width = 640;
  int32_t Height = 480;
};

// The clock of the frame on screen at ms (>= 0): the largest multiple of 15 not above it.
constexpr int32_t FrameClockAt(int32_t ms) { return ms - ms % FrameStepMs; }

// The production's pictures, relative to the working directory.
const std::vector<std::string>& PictureFiles();
constexpr const char* MusicFile = "data/lumetra.mp3";

// Empty when every file can be read; otherwise "FILE: reason" for the first that cannot.
std::string CheckReadable(const std::vector<std::string>& files);

// Opens the offscreen context and runs the program's start-up after the loading
// screen (GL state, tables, textures, particle pool, scene globals), then seeds the
// random generator. On failure returns false with a one-line reason.
bool StartProduction(FrameSize size, uint32_t seed, std::string& error);
void StopProduction();

// Back to the state before the first frame: scene globals and random seed.
void RestartScenes(uint32_t seed);

// Draws the frames at clocks first, first + 15, ... up to and including last, each
// at a one-pixel viewport (demo::DrawUnseenTimelineFrame).
// progress(done, total) is called now and then.
using ProgressFn = std::function<void(int64_t done, int64_t total)>;
void FastForward(int32_t first, int32_t last, FrameSize size, const ProgressFn& progress = {});

// The frame of the Timeline at clock, at full size, as the program draws it.
void DrawFrame(int32_t clock);

// The drawn frame as 8-bit pixels, top row first: GL_RGB or GL_BGRA (3 or 4 bytes each).
void ReadFrame(FrameSize size, uint32_t format, std::vector<uint8_t>& pixels);

}  // namespace render
