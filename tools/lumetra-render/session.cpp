#include "session.h"

#include <GL/gl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "demo/driver.h"
#include "demo/gl_state.h"
#include "demo/startup.h"
#include "demo/timeline.h"
#include "framework/particle/random.h"
#include "framework/window/window.h"

namespace render {

const std::vector<std::string>& PictureFiles() {
  static const std::vector<std::string> files = {
      "data/intro1.tqz", "data/checkers.tqz", "data/checkers2.tqz", "data/flare.tqz",
      "data/flare2.tqz", "data/greets1.tqz",  "data/greets2.tqz",   "data/greets3.tqz"};
  return files;
}

std::string CheckReadable(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) return file + ": " + std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return file + ": not a regular file";
    if (st.st_size == 0) return file + ": empty file";
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) return file + ": " + std::strerror(errno);
    std::fclose(f);
  }
  return "";
}

bool StartProduction(FrameSize size, uint32_t seed, std::string& error) {
  if (!window::OpenOffscreenContext(size.Width, size.Height)) {
    error = "could not open an offscreen OpenGL context of " + std::to_string(size.Width) +
            "x" + std::to_string(size.Height);
    return false;
  }
  demo::InitGLState(size.Width, size.Height);
  // The program's loading screen sets this; it is also GL's default.
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  demo::LoadProduction();
  particle::SeedRandom(seed);
  return true;
}

void StopProduction() {
  demo::ReleaseProduction();
  window::CloseOffscreenContext();
}

void RestartScenes(uint32_t seed) {
  demo::ResetSceneGlobals();
  particle::SeedRandom(seed);
}

void FastForward(int32_t first, int32_t last, FrameSize size, const ProgressFn& progress) {
  if (last < first) return;
  const int64_t total = (last - first) / FrameStepMs + 1;
  int64_t done = 0;
  for (int32_t clock = first; clock <= last; clock += FrameStepMs) {
    demo::DrawUnseenTimelineFrame(clock, size.Width, size.Height);
    if (progress && ++done % 64 == 0) progress(done, total);
  }
  if (progress) progress(total, total);
}

void DrawFrame(int32_t clock) { demo::DrawTimelineFrame(clock); }

void ReadFrame(FrameSize size, uint32_t format, std::vector<uint8_t>& pixels) {
  const size_t channels = format == GL_RGB ? 3 : 4;
  const size_t row = channels * static_cast<size_t>(size.Width);
  static std::vector<uint8_t> bottomFirst;
  bottomFirst.resize(row * static_cast<size_t>(size.Height));
  pixels.resize(bottomFirst.size());
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, size.Width, size.Height, format, GL_UNSIGNED_BYTE, bottomFirst.data());
  for (int32_t y = 0; y < size.Height; ++y)
    std::memcpy(&pixels[row * static_cast<size_t>(y)],
                &bottomFirst[row * static_cast<size_t>(size.Height - 1 - y)], row);
}

}  // namespace render
