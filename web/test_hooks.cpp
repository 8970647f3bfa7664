// The test page's hooks, linked into build-web/test/ only: stepped frames, the last
// frame's clock, and the picture last drawn. The published page has none.
#include <GLES3/gl3.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstring>
#include <vector>

#include "demo/driver.h"

extern "C" {

// Frames at exact 15 ms steps from the seed, held at the frame lumetra-render --at
// holdMs draws (see demo::StepFrames).
EMSCRIPTEN_KEEPALIVE void lumetra_step_frames(uint32_t seed, int32_t holdMs) {
  demo::StepFrames(seed, holdMs);
}

EMSCRIPTEN_KEEPALIVE int32_t lumetra_frame_clock() { return demo::LastFrameClock(); }

// The picture last drawn, as RGBA rows from the top, in a buffer that stays valid until
// the next call; null before the window opens. Between frames the framebuffer bound is
// the picture's (the canvas's own in true colour, which the test page keeps between
// frames, see test_page.js), and the canvas has its size.
EMSCRIPTEN_KEEPALIVE const uint8_t* lumetra_read_picture() {
  static std::vector<uint8_t> topFirst;
  int width = 0, height = 0;
  if (!emscripten_webgl_get_current_context() ||
      emscripten_get_canvas_element_size("#canvas", &width, &height) != EMSCRIPTEN_RESULT_SUCCESS)
    return nullptr;
  std::vector<uint8_t> bottomFirst(size_t(width) * height * 4);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE,
               bottomFirst.data());  // the GL layer's: draws what is queued first
  topFirst.resize(bottomFirst.size());
  const size_t row = size_t(width) * 4;
  for (int y = 0; y < height; ++y)
    std::memcpy(&topFirst[row * y], &bottomFirst[row * (height - 1 - y)], row);
  return topFirst.data();
}

}  // extern "C"
