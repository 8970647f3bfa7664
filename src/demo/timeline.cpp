#include "demo/timeline.h"

#include <GL/gl.h>

#include "scenes/checker_stack.h"
#include "scenes/flare_field.h"
#include "scenes/globals.h"
#include "scenes/greetings.h"
#include "scenes/overlays.h"
#include "scenes/plasma.h"
#include "scenes/star_stream.h"

namespace demo {

using namespace scenes;

const std::array<TimelineRow, 18> Timeline = {{
    {false, 0, 3740, CheckerStackScene1, "CheckerStackScene1"},
    {true, 3741, 7250, CheckerStackScene2, "CheckerStackScene2"},
    {true, 7251, 14230, CheckerStackScene3, "CheckerStackScene3"},
    {true, 13031, 14230, FadeToWhite, "FadeToWhite"},
    {true, 14231, 21000, StarStreamScene1, "StarStreamScene1"},
    {true, 14231, 15430, FadeFromWhite, "FadeFromWhite"},
    {true, 21001, 28000, StarStreamScene2, "StarStreamScene2"},
    {true, 21001, 23000, FlashOverlay, "FlashOverlay"},
    {true, 28001, 35000, FlareFieldScene, "FlareFieldScene"},
    {true, 28001, 29000, FlashOverlay, "FlashOverlay"},
    {true, 35001, 42000, PlasmaScene1, "PlasmaScene1"},
    {true, 35001, 36000, FlashOverlay, "FlashOverlay"},
    {true, 42001, 49000, PlasmaScene2, "PlasmaScene2"},
    {true, 42001, 43000, FlashOverlay, "FlashOverlay"},
    {true, 49001, 56000, PlasmaScene3, "PlasmaScene3"},
    {true, 49001, 50000, FlashOverlay, "FlashOverlay"},
    {true, 56001, 66000, GreetingsScene, "GreetingsScene"},
    {true, 66001, 70000, GreetingsFadeScene, "GreetingsFadeScene"},
}};

bool RowContains(const TimelineRow& row, int32_t clock) {
  // first - 1 < clock <= last; 64-bit so no bound can overflow.
  if (row.HasLowerBound && !(static_cast<int64_t>(row.FirstMs) - 1 < clock)) return false;
  return clock <= row.LastMs;
}

void DrawTimelineFrame(int32_t clock) {
  SceneClock = clock;
  for (const TimelineRow& row : Timeline) {
    if (RowContains(row, clock)) row.Routine();
  }
}

namespace {

void DrawAtOnePixel(int32_t clock, int32_t width, int32_t height, bool writes) {
  glViewport(0, 0, 1, 1);
  glScissor(0, 0, 1, 1);  // glClear ignores the viewport
  glEnable(GL_SCISSOR_TEST);
  // With no writes at all, a GL may skip the drawing whole (the page's does); the
  // scenes never change the masks.
  if (!writes) {
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDepthMask(GL_FALSE);
  }
  DrawTimelineFrame(clock);
  if (!writes) {
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
  }
  glDisable(GL_SCISSOR_TEST);
  glViewport(0, 0, width, height);
}

}  // namespace

void DrawUnseenTimelineFrame(int32_t clock, int32_t width, int32_t height) {
  DrawAtOnePixel(clock, width, height, false);
}

void DrawOnePixelTimelineFrame(int32_t clock, int32_t width, int32_t height) {
  DrawAtOnePixel(clock, width, height, true);
}

}  // namespace demo
