// The white overlays: one quad one unit in front of the eye, large enough to cover
// the whole viewport, added over the frame with the driver's additive blending.
// OpenGL clamps the colour's alpha to 0..1, so a counter past the end of a fade or
// a flash gives full white or nothing, never more or less.
#include "scenes/overlays.h"

#include <GL/gl.h>

#include "scenes/globals.h"

namespace scenes {

namespace {

// The alpha as the nearest float to its value: worked in float, 1 - counter / 20
// would round twice and land one step off for some counters.
float FlashAlpha(double alpha) { return static_cast<float>(alpha); }

// The fades' quad corners, each with its texture coordinate (texturing is off, so
// the coordinates have no visible effect).
void FadeCorners() {
  glTexCoord2f(0.0f, 1.0f);
  glVertex3f(-1.0f, -1.0f, 0.0f);
  glTexCoord2f(1.0f, 1.0f);
  glVertex3f(1.0f, -1.0f, 0.0f);
  glTexCoord2f(1.0f, 0.0f);
  glVertex3f(1.0f, 1.0f, 0.0f);
  glTexCoord2f(0.0f, 0.0f);
  glVertex3f(-1.0f, 1.0f, 0.0f);
}

}  // namespace

void FadeToWhite() {
  glLoadIdentity();
  glTranslated(0.0, 0.0, -1.0);

  glBegin(GL_QUADS);
  glColor4f(1.0f, 1.0f, 1.0f, FlashAlpha(FlashCounter / 30.0));
  FadeCorners();
  glEnd();

  FlashCounter = FlashCounter + 1;
}

void FadeFromWhite() {
  glLoadIdentity();
  glTranslated(0.0, 0.0, -1.0);

  glColor4f(1.0f, 1.0f, 1.0f, FlashAlpha(FlashCounter / 30.0));
  glBegin(GL_QUADS);
  FadeCorners();
  glEnd();

  FlashCounter = FlashCounter - 1;
}

void FlashOverlay() {
  glLoadIdentity();
  glTranslated(0.0, 0.0, -1.0);

  glColor4f(1.0f, 1.0f, 1.0f, FlashAlpha(1.0 - FlashCounter / 20.0));
  glBegin(GL_QUADS);
  glVertex3f(-1.0f, -1.0f, 0.0f);
  glVertex3f(1.0f, -1.0f, 0.0f);
  glVertex3f(1.0f, 1.0f, 0.0f);
  glVertex3f(-1.0f, 1.0f, 0.0f);
  glEnd();

  FlashCounter = FlashCounter + 1;
}

}  // namespace scenes
