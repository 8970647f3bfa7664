#include "gl_recorder.h"

extern "C" {
void __real_glBegin(GLenum mode);
void __real_glVertex3d(GLdouble x, GLdouble y, GLdouble z);
void __real_glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z);
}

namespace recorder {

namespace {
bool recording = false;
std::vector<Batch> batches;
int rotations = 0;
}  // namespace

void Start() {
  batches.clear();
  rotations = 0;
  recording = true;
}

void Stop() { recording = false; }

const std::vector<Batch>& Batches() { return batches; }

int Rotations() { return rotations; }

}  // namespace recorder

using namespace recorder;

extern "C" void __wrap_glBegin(GLenum mode) {
  if (recording) {
    Batch batch{mode, {}, {}};
    glGetDoublev(GL_MODELVIEW_MATRIX, batch.modelview.data());
    batches.push_back(batch);
  }
  __real_glBegin(mode);
}

extern "C" void __wrap_glVertex3d(GLdouble x, GLdouble y, GLdouble z) {
  if (recording && !batches.empty()) {
    const auto& m = batches.back().modelview;
    batches.back().eye.push_back({m[0] * x + m[4] * y + m[8] * z + m[12],
                                  m[1] * x + m[5] * y + m[9] * z + m[13],
                                  m[2] * x + m[6] * y + m[10] * z + m[14]});
  }
  __real_glVertex3d(x, y, z);
}

extern "C" void __wrap_glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) {
  if (recording) ++rotations;
  __real_glRotated(angle, x, y, z);
}
