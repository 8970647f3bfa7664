#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>

#include "demo/gl_state.h"
#include "scenes/globals.h"
#include "support/gl_fixture.h"

namespace {

using testsupport::OffscreenGLTest;

TEST(CosTable, FollowsTheAccumulatedAngle) {
  demo::BuildCosTable();
  EXPECT_EQ(scenes::CosTable[1], 2.0);
  EXPECT_NEAR(scenes::CosTable[315], 2.0 * std::cos(1.57), 1e-9);
  EXPECT_NEAR(scenes::CosTable[1280], 2.0 * std::cos(6.395), 1e-9);
  EXPECT_EQ(scenes::CosTable[0], 0.0);
}

using FixedGLState = OffscreenGLTest;

TEST_F(FixedGLState, BlendsAdditivelyOverBlack) {
  glLoadIdentity();
  glTranslatef(0, 0, -1);
  glColor4f(0.5f, 0.25f, 1.0f, 0.5f);
  for (int pass = 0; pass < 2; ++pass) {
    glBegin(GL_QUADS);
    glVertex3f(-1, -1, 0);
    glVertex3f(1, -1, 0);
    glVertex3f(1, 1, 0);
    glVertex3f(-1, 1, 0);
    glEnd();
  }
  testsupport::Rgba p = testsupport::ReadPixel(Width / 2, Height / 2);
  EXPECT_NEAR(p.r, 128, 1);
  EXPECT_NEAR(p.g, 64, 1);
  EXPECT_EQ(p.b, 255);
}

}  // namespace
