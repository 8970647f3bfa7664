// The flare field: seven rows of tiles, each a stack of three translucent quads
// turned about the viewing axis by angles that grow with the column and the frame.
#include "scenes/flare_field.h"

#include <GL/gl.h>

#include <cmath>

#include "scenes/globals.h"
#include "scenes/model_frame.h"
#include "scenes/star_stream.h"

namespace scenes {

namespace {

// A row of tiles for v = first, first + 3, ... up to last.
void DrawFlareRow(double y, int32_t first, int32_t last) {
  for (int32_t v = first; v <= last; v += 3) DrawFlareTile(v, y);
}

// One flare quad of colour (1, 1, 1, alpha), half-width a and half-height b at depth
// z of frame, the texture mirrored, sent in eye space.
void FlareQuad(const ModelFrame& frame, float alpha, double a, double b, double z) {
  auto vertex = [&frame](double x, double y, double depth) {
    const Point3 eye = frame.Apply(x, y, depth);
    glVertex3d(eye.x, eye.y, eye.z);
  };
  glColor4f(1, 1, 1, alpha);
  glTexCoord2f(1, 1), vertex(-a, -b, z);
  glTexCoord2f(0, 1), vertex(a, -b, z);
  glTexCoord2f(0, 0), vertex(a, b, z);
  glTexCoord2f(1, 0), vertex(-a, b, z);
}

}  // namespace

void FlareFieldSetup() {
  ScenePhase = 22;
  Progress = 0;
}

void FlareFieldScene() {
  if (ScenePhase < 22) FlareFieldSetup();

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, Textures.flare2->Name);

  // The middle row is the longest. The rows at heights 2 and 6 and their mirrors
  // are not centred: they run from -20 to 19 and from -10 to 8.
  DrawFlareRow(0, -30, 30);
  DrawFlareRow(2, -20, 19);
  DrawFlareRow(-2, -20, 19);
  DrawFlareRow(4, -15, 15);
  DrawFlareRow(-4, -15, 15);
  DrawFlareRow(6, -10, 8);
  DrawFlareRow(-6, -10, 8);

  glDisable(GL_TEXTURE_2D);
  Progress = Progress + 0.2;
  // The flash that opens the next scene starts from 0.
  if (SceneClock > 34000) FlashCounter = 0;
}

void DrawFlareTile(int32_t v, double y) {
  const double P = Progress;
  const double w = v;

  // The tile's frame is computed here and its quads sent in eye space, in one batch
  // with their colours inside it, so the modelview and the current colour do not
  // change between batches.
  glLoadIdentity();
  ModelFrame frame;
  frame.Translate(w / 3, 0, 0);
  frame.Translate(0, y, 0);
  frame.Translate(0, 0, -20);
  frame.Rotate(2 * w + P, 0, 0, 1);
  frame.Rotate(w, 0, 0, 1);
  frame.Rotate(PulseIndex2, 0, 0, 1);

  glBegin(GL_QUADS);
  FlareQuad(frame, 0.8f, 1 - std::fabs(w / 15), 1 - std::fabs(w / 10), -std::fabs(w / 4));

  // The turns accumulate from quad to quad.
  frame.Rotate(w + P + 0.3, 0, 0, 1);
  FlareQuad(frame, 0.4f, 1 - std::fabs(w / 20), 1 - std::fabs(w / 30),
            (1 - std::fabs(w / 5)) + P / 5);

  frame.Rotate(w + P + 0.4, 0, 0, 1);
  FlareQuad(frame, 0.3f, 1 - std::fabs(w / 50), 1 - std::fabs(w / 50),
            (1 - std::fabs(w / 5)) + P / 2);
  glEnd();
}

}  // namespace scenes
