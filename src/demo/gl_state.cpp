#include "demo/gl_state.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "scenes/globals.h"

namespace demo {

void InitGLState(int32_t width, int32_t height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height), 0.1, 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClearDepth(1.0);
  glDepthFunc(GL_LEQUAL);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glEnable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glShadeModel(GL_SMOOTH);
}

void BuildCosTable() {
  double angle = 0.0;
  for (int i = 1; i <= 1280; ++i) {
    scenes::CosTable[i] = 2.0 * std::cos(angle);
    angle = angle + 0.005;
  }
}

}  // namespace demo
