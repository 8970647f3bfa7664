#include "scenes/room.h"

#include "scenes/globals.h"

namespace scenes {

namespace {

struct Corner {
  GLfloat s, t;
  GLfloat x, y, z;
};

struct Face {
  GLfloat nx, ny, nz;
  Corner corners[4];
};

// Faces in drawing order: front, back, top, bottom, right, left.
constexpr Face kFaces[6] = {
    {0, 0, 1, {{0, 0, -40, -40, 40}, {2, 0, 40, -40, 40}, {2, 2, 40, 40, 40}, {0, 2, -40, 40, 40}}},
    {0, 0, -1, {{2, 0, -40, -40, -40}, {2, 2, -40, 40, -40}, {0, 2, 40, 40, -40}, {0, 0, 40, -40, -40}}},
    {0, 1, 0, {{0, 2, -40, 40, -40}, {0, 0, -40, 40, 40}, {2, 0, 40, 40, 40}, {2, 2, 40, 40, -40}}},
    {0, -1, 0, {{2, 2, -40, -40, -40}, {0, 2, 40, -40, -40}, {0, 0, 40, -40, 40}, {2, 0, -40, -40, 40}}},
    {1, 0, 0, {{2, 0, 40, -40, -40}, {2, 2, 40, 40, -40}, {0, 2, 40, 40, 40}, {0, 0, 40, -40, 40}}},
    {-1, 0, 0, {{0, 0, -40, -40, -40}, {2, 0, -40, -40, 40}, {2, 2, -40, 40, 40}, {0, 2, -40, 40, -40}}},
};

}  // namespace

GLuint CompileRoom() {
  GLuint list = glGenLists(1);
  glNewList(list, GL_COMPILE);
  glBegin(GL_QUADS);
  for (const Face& face : kFaces) {
    glNormal3f(face.nx, face.ny, face.nz);
    for (const Corner& c : face.corners) {
      glTexCoord2f(c.s, c.t);
      glVertex3f(c.x, c.y, c.z);
    }
  }
  glEnd();
  glEndList();
  return list;
}

void LoadRoomFrame() {
  glLoadIdentity();
  glTranslated(0, 0, 0);
  glRotated(AngleX, 1, 0, 0);
  glRotated(AngleY, 0, 1, 0);
}

}  // namespace scenes
