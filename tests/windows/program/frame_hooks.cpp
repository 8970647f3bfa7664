// Stepped frames for the Windows tests. The environment says what to do:
//   LUMETRA_TEST_FRAMES=loading,MS,MS,...  the frames to read back, in rising order
//   LUMETRA_TEST_SEED=N                    the random seed (as lumetra-render --seed)
//   LUMETRA_TEST_FRAME_DIR=DIR             where DIR/loading.ppm and DIR/MS.ppm go
// It also prints the settings the dialog gave the run on standard error, with or
// without frames (without, the run is the program's own).
// Frame n is drawn for the clock n x 15 ms whatever the music says; frames nobody
// reads are drawn unseen (as lumetra-render fast-forwards); the run ends after the
// last frame asked for, through the program's own shutdown.
#include "frame_hooks.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "demo/driver.h"
#include "demo/loading_screen.h"
#include "demo/settings.h"
#include "demo/timeline.h"
#include "framework/particle/random.h"
#include "framework/texture/texture.h"
#include "framework/window/window.h"
#include "scenes/globals.h"

namespace test_hooks {
namespace {

bool started = false;
std::vector<std::string> wanted;
size_t next = 0;
int32_t frame = 0;

// The back buffer as a binary PPM, rows top first.
void SaveFrame(const std::string& name) {
  const int32_t width = demo::Settings.Width, height = demo::Settings.Height;
  std::vector<unsigned char> pixels(size_t(width) * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  const std::string path = std::string(std::getenv("LUMETRA_TEST_FRAME_DIR")) + "/" + name + ".ppm";
  if (FILE* out = std::fopen(path.c_str(), "wb")) {
    std::fprintf(out, "P6\n%d %d\n255\n", width, height);
    for (int32_t y = height - 1; y >= 0; --y)
      std::fwrite(&pixels[size_t(y) * width * 3], 1, size_t(width) * 3, out);
    std::fclose(out);
  }
}

}  // namespace

bool StepFrame() {
  const char* frames = std::getenv("LUMETRA_TEST_FRAMES");
  if (!started) {
    started = true;
    // What the dialog handed to the run.
    const demo::DemoSettings& chosen = demo::Settings;
    std::fprintf(stderr, "settings %d x %d, %d bits, fullscreen %d, music %d\n", chosen.Width,
                 chosen.Height, chosen.ColorBits, chosen.Fullscreen ? 1 : 0, chosen.Music ? 1 : 0);
    std::fflush(stderr);
    if (!frames) return false;
    std::stringstream list(frames);
    for (std::string item; std::getline(list, item, ',');) wanted.push_back(item);
    particle::SeedRandom(static_cast<uint32_t>(std::atoi(std::getenv("LUMETRA_TEST_SEED"))));
    if (next < wanted.size() && wanted[next] == "loading") {
      // The loading screen once more, read before its swap.
      texture::Destroy(scenes::Textures.loading);
      demo::DrawLoadingScreen();
      SaveFrame(wanted[next++]);
      window::SwapFrame();
    }
  }
  if (!frames) return false;
  if (next >= wanted.size()) {
    window::SendDestroy();
    return true;
  }
  const int32_t clock = frame++ * demo::kFramePaceMs;
  if (clock == std::atoi(wanted[next].c_str()) / demo::kFramePaceMs * demo::kFramePaceMs) {
    demo::DrawTimelineFrame(clock);
    SaveFrame(wanted[next++]);
    window::SwapFrame();
  } else {
    demo::DrawUnseenTimelineFrame(clock, demo::Settings.Width, demo::Settings.Height);
  }
  return true;
}

}  // namespace test_hooks
