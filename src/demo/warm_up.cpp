#include "demo/warm_up.h"

#include <GL/gl.h>

#include "demo/loading_screen.h"
#include "demo/timeline.h"
#include "framework/window/window.h"
#include "scenes/scene_state.h"

namespace demo {

namespace {

struct WarmUp {
  scenes::SceneState saved;
  int32_t width, height;
};

// The first frame of every scene into one pixel, from the state the run starts with.
// Writes stay on: a renderer's code for a state includes the writes. In Timeline
// order, so each scene's set-up runs as in the run.
void DrawFirstFrames(void* context) {
  const WarmUp& warm = *static_cast<const WarmUp*>(context);
  scenes::RestoreSceneState(warm.saved);
  for (size_t row = 0; row < Timeline.size(); ++row) {
    if (row > 0 && Timeline[row - 1].FirstMs == Timeline[row].FirstMs) continue;
    DrawOnePixelTimelineFrame(Timeline[row].HasLowerBound ? Timeline[row].FirstMs : 0,
                              warm.width, warm.height);
  }
}

}  // namespace

void WarmUpScenes(int32_t width, int32_t height) {
  WarmUp warm{scenes::SaveSceneState(), width, height};
  window::ForEachPictureTarget(DrawFirstFrames, &warm);
  glFinish();
  // The one state a scene relies on without setting it, as the loading left it.
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  // A page shows its drawing buffer whenever it returns to the browser, as it does
  // before the music starts: the buffer holds the loading picture again (which also
  // leaves the current colour and the matrix as the loading left them).
  DrawLoadingPicture();
  scenes::RestoreSceneState(warm.saved);
}

}  // namespace demo
