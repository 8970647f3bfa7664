// The loading screen: one picture, drawn once and presented, held for at least
// two seconds of tick count before the other textures load.
#include "demo/loading_screen.h"

#include <GL/gl.h>

#include "framework/texture/texture.h"
#include "framework/window/window.h"
#include "scenes/globals.h"

namespace demo {

void DrawLoadingScreen() {
  // Modulation by the current colour stays the texture environment for the whole run.
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  scenes::Textures.loading = texture::Load("data/loading.tqz", 3, false);
  DrawLoadingPicture();
}

void DrawLoadingPicture() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -40.0f);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, scenes::Textures.loading->Name);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

  // A 20-unit square at distance 40: about 60 % of the screen height, with the
  // picture's first row (t = 0) at the top.
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  glTexCoord2f(0.0f, 1.0f);
  glVertex3f(-10.0f, -10.0f, 0.0f);
  glTexCoord2f(1.0f, 1.0f);
  glVertex3f(10.0f, -10.0f, 0.0f);
  glTexCoord2f(1.0f, 0.0f);
  glVertex3f(10.0f, 10.0f, 0.0f);
  glTexCoord2f(0.0f, 0.0f);
  glVertex3f(-10.0f, 10.0f, 0.0f);
  glEnd();

  glDisable(GL_TEXTURE_2D);
}

void WaitTicks(uint64_t ms) {
  const uint64_t start = window::TickCount();
  while (window::TickCount() - start < ms) window::Idle();
}

void ShowLoadingScreen() {
  DrawLoadingScreen();
  window::SwapFrame();
  WaitTicks(2000);
}

}  // namespace demo
