// The spike star: six four-sided spikes whose middle rings breathe with the pulse.
#include <GL/gl.h>

#include "scenes/globals.h"
#include "scenes/star_stream.h"

namespace scenes {

namespace {

// Rings at z = 1 (half-size 1), 2 (PulseRadius1) and 4.5 (PulseRadius2), tip at 5.5.
void Vertex(double x, double y, double z) { glVertex3d(x, y, z); }

// A filled pass (back faces as lines), then a wire pass over it. Pair by pair
// matters in 16-bit colour: each blend rounds to 5 or 6 bits, so the order of the
// additions shows in the pixels.
void DrawSpikePair(float fillAlpha, float wireAlpha) {
  glColor4f(1, 1, 1, fillAlpha);
  glPolygonMode(GL_FRONT, GL_FILL);
  glPolygonMode(GL_BACK, GL_LINE);
  DrawSpike();
  glColor4f(1, 1, 1, wireAlpha);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  DrawSpike();
}

// Steps an index two entries along the table, skipping the stretch where the
// cosine is negative and wrapping after 1274.
void StepPulseIndex(int32_t& index) {
  if (320 < index && index < 600) index = index + 620;
  if (index < 1275) {
    index = index + 2;
  } else {
    index = 1;
  }
}

}  // namespace

void DrawSpike() {
  const double r1 = PulseRadius1;
  const double r2 = PulseRadius2;

  glBegin(GL_QUADS);
  // Ring 1 to ring 2.
  Vertex(1, 1, 1), Vertex(r1, r1, 2), Vertex(r1, -r1, 2), Vertex(1, -1, 1);
  Vertex(-r1, r1, 2), Vertex(-1, 1, 1), Vertex(-1, -1, 1), Vertex(-r1, -r1, 2);
  Vertex(r1, r1, 2), Vertex(1, 1, 1), Vertex(-1, 1, 1), Vertex(-r1, r1, 2);
  Vertex(1, -1, 1), Vertex(r1, -r1, 2), Vertex(-r1, -r1, 2), Vertex(-1, -1, 1);
  // Ring 2 to ring 3.
  Vertex(-r2, r2, 4.5), Vertex(r2, r2, 4.5), Vertex(r1, r1, 2), Vertex(-r1, r1, 2);
  Vertex(r2, -r2, 4.5), Vertex(-r2, -r2, 4.5), Vertex(-r1, -r1, 2), Vertex(r1, -r1, 2);
  Vertex(r1, r1, 2), Vertex(r2, r2, 4.5), Vertex(r2, -r2, 4.5), Vertex(r1, -r1, 2);
  Vertex(-r2, r2, 4.5), Vertex(-r1, r1, 2), Vertex(-r1, -r1, 2), Vertex(-r2, -r2, 4.5);
  glEnd();

  // Ring 3 to the tip; the base at z = 1 stays open.
  glBegin(GL_TRIANGLES);
  Vertex(-r2, r2, 4.5), Vertex(0, 0, 5.5), Vertex(r2, r2, 4.5);
  Vertex(r2, -r2, 4.5), Vertex(0, 0, 5.5), Vertex(-r2, -r2, 4.5);
  Vertex(r2, r2, 4.5), Vertex(0, 0, 5.5), Vertex(r2, -r2, 4.5);
  Vertex(-r2, -r2, 4.5), Vertex(0, 0, 5.5), Vertex(-r2, r2, 4.5);
  glEnd();
}

void DrawSpikeStar(float fillAlpha, float wireAlpha) {
  // Along +z, -y, -z and +y; the fourth turn brings the frame back.
  for (int k = 0; k < 4; ++k) {
    DrawSpikePair(fillAlpha, wireAlpha);
    glRotated(90, 1, 0, 0);
  }
  // Along +x.
  glRotated(90, 0, 1, 0);
  DrawSpikePair(fillAlpha, wireAlpha);
  // Along -x; the frame stays turned by 270 degrees about y.
  glRotated(180, 0, 1, 0);
  DrawSpikePair(fillAlpha, wireAlpha);
}

void AdvancePulse() {
  PulseRadius1 = CosTable[PulseIndex1] / 2 + 0.5;
  StepPulseIndex(PulseIndex1);
  PulseRadius2 = CosTable[PulseIndex2] / 4 + 0.5;
  StepPulseIndex(PulseIndex2);
}

}  // namespace scenes
