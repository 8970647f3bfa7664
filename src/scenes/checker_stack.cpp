// The checker-stack scenes. They draw into the driver's fixed GL state (additive
// blending, no depth test) and leave 2D texturing off when they return.
#include "scenes/checker_stack.h"

#include <GL/gl.h>

#include "scenes/globals.h"

namespace scenes {

namespace {

// The TextureId of a picture slot; 0 (no texture) while the slot is empty.
GLuint TextureId(const texture::ImageTexture* slot) { return slot != nullptr ? slot->Name : 0; }

// The 2 x 1 intro picture quad in the plane z = 0, white, showing the texture rows
// from tTop (its top edge) to tBottom (its bottom edge); leaves texturing off.
void DrawPictureHalf(float tTop, float tBottom) {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, TextureId(Textures.intro1));
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, tBottom);
  glVertex3f(-1.0f, -1.0f, 0.0f);
  glTexCoord2f(1.0f, tBottom);
  glVertex3f(1.0f, -1.0f, 0.0f);
  glTexCoord2f(1.0f, tTop);
  glVertex3f(1.0f, 0.0f, 0.0f);
  glTexCoord2f(0.0f, tTop);
  glVertex3f(-1.0f, 0.0f, 0.0f);
  glEnd();
  glDisable(GL_TEXTURE_2D);
}

}  // namespace

void DrawCheckerStack(float red) {
  // Square 10 has alpha 0, so with the additive blend it leaves every pixel as it is;
  // it is not sent, which spares a software renderer a sixth to a quarter of the
  // stack's fill (it is the largest square, often covering the whole frame).
  glBegin(GL_QUADS);
  for (int i = 0; i <= 9; ++i) {
    const float s = 1.0f + i;
    const float z = static_cast<float>(i);
    // Worked in double: in float, 1 - i / 10 lands one step off for i = 6, 8 and 9.
    glColor4f(red, 1.0f, 1.0f, static_cast<float>(1.0 - i / 10.0));
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(-s, -s, z);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(s, -s, z);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(s, s, z);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(-s, s, z);
  }
  glEnd();
}

void CheckerStackScene1() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  glLoadIdentity();
  glTranslated(0.0, 0.0, -30.0);
  glRotated(SpinAngle, 0.0, 0.0, 1.0);
  glRotated(SpinAngle, 0.0, 0.5, 0.0);

  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, TextureId(Textures.checkers));
  DrawCheckerStack(1.0f);
  glDisable(GL_TEXTURE_2D);

  SpinAngle = SpinAngle + 0.06;
}

void CheckerStackSetup2() {
  ScenePhase = 11;
  SpinAngle = 50.0;
}

void CheckerStackScene2() {
  if (ScenePhase == 10) CheckerStackSetup2();

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  glLoadIdentity();
  glTranslated(-6.0, -3.0, -25.0);
  glRotated(SpinAngle, 0.0, 0.0, 1.0);
  glRotated(SpinAngle, 0.0, 0.5, 0.0);

  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, TextureId(Textures.checkers));
  DrawCheckerStack(1.5f);
  glDisable(GL_TEXTURE_2D);

  glLoadIdentity();
  glTranslated(1.1, -0.8, -4.0);

  // The upper half of the intro picture: t = 0 at the quad's top edge, 0.5 at its bottom.
  DrawPictureHalf(0.0f, 0.5f);

  SpinAngle = SpinAngle + 0.06;
}

void CheckerStackSetup3() {
  ScenePhase = 12;
  SpinAngle = -60.0;
  Progress = 0.0;
}

void CheckerStackScene3() {
  if (ScenePhase == 11) CheckerStackSetup3();

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  glLoadIdentity();
  glTranslated(8.0 - Progress, -2.0, -15.0);
  glRotated(SpinAngle, 0.0, 0.0, 1.0);
  glRotated(SpinAngle, 0.0, 0.5, 0.0);

  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, TextureId(Textures.checkers));
  DrawCheckerStack(1.0f);
  glDisable(GL_TEXTURE_2D);

  glLoadIdentity();
  glTranslated(-1.3, 1.7, -4.0);

  // The lower half of the intro picture: t = 0.5 at the quad's top edge, 1 at its bottom.
  DrawPictureHalf(0.5f, 1.0f);

  SpinAngle = SpinAngle + 0.25;
  Progress = Progress + 0.04;
}

}  // namespace scenes
