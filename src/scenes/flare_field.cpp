// The flare field: seven rows of tiles, each a stack of three translucent quads
// turned about the viewing axis by angles that grow with the column and the frame.
#include "scenes/flare_field.h"

#include <GL/gl.h>

#include <cmath>

#include "scenes/globals.h"
#include "scenes/star_stream.h"

namespace scenes {

namespace {

// A row of tiles for v = first, first + 3, ... up to last.
void DrawFlareRow(double y, int32_t first, int32_t last) {
  for (int32_t v = first; v <= last; v += 3) DrawFlareTile(v, y);
}

// One flare quad of half-width a and half-height b at depth z, the texture mirrored.
void FlareQuad(double a, double b, double z) {
  glBegin(GL_QUADS);
  glTexCoord2f(1, 1), glVertex3d(-a, -b, z);
  glTexCoord2f(0, 1), glVertex3d(a, -b, z);
  glTexCoord2f(0, 0), glVertex3d(a, b, z);
  glTexCoord2f(1, 0), glVertex3d(-a, b, z);
  glEnd();
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

  glLoadIdentity();
  glTranslated(w / 3, 0, 0);
  glTranslated(0, y, 0);
  glTranslated(0, 0, -20);
  glRotated(2 * w + P, 0, 0, 1);
  glRotated(w, 0, 0, 1);
  glRotated(PulseIndex2, 0, 0, 1);

  glColor4f(1, 1, 1, 0.8f);
  FlareQuad(1 - std::fabs(w / 15), 1 - std::fabs(w / 10), -std::fabs(w / 4));

  // The turns accumulate from quad to quad.
  glRotated(w + P + 0.3, 0, 0, 1);
  glColor4f(1, 1, 1, 0.4f);
  FlareQuad(1 - std::fabs(w / 20), 1 - std::fabs(w / 30), (1 - std::fabs(w / 5)) + P / 5);

  glRotated(w + P + 0.4, 0, 0, 1);
  glColor4f(1, 1, 1, 0.3f);
  FlareQuad(1 - std::fabs(w / 50), 1 - std::fabs(w / 50), (1 - std::fabs(w / 5)) + P / 2);
}

}  // namespace scenes
