// Greetings room scenes. Pool records 1 to 8 hold the top-edge middles of the
// greets1 and greets2 bands; records 9 to 16 their faint copies, which fly on past
// the viewer.
#include "scenes/greetings.h"

#include <GL/gl.h>

#include "scenes/globals.h"
#include "scenes/room.h"

namespace scenes {

namespace {

// Bands stop at the first depth at or above this; copies fly on to the second.
constexpr double kBandRestDepth = -15;
constexpr double kCopyEndDepth = 3;
constexpr double kFlightStep = 1.1;  // world units per frame

// One block: the four bands of a picture, from the records first to first + 3, as
// quads whose top edge is centred on each record's position.
void DrawBandBlock(const texture::ImageTexture* picture, double alpha, int first) {
  glColor4d(1, 1, 1, alpha);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, picture->Name);
  glBegin(GL_QUADS);
  for (int k = 1; k <= 4; ++k) {
    const particle::Particle& p = ParticlePool->Particles[first + k - 1];
    const double bottom = k / 4.0;
    const double top = (k - 1) / 4.0;
    glTexCoord2d(0, bottom);
    glVertex3d(p.X - 2, p.Y - 1, p.Z);
    glTexCoord2d(1, bottom);
    glVertex3d(p.X + 2, p.Y - 1, p.Z);
    glTexCoord2d(1, top);
    glVertex3d(p.X + 2, p.Y, p.Z);
    glTexCoord2d(0, top);
    glVertex3d(p.X - 2, p.Y, p.Z);
  }
  glEnd();
  glDisable(GL_TEXTURE_2D);
}

// One frame of the effect; fade is subtracted from every alpha (negative alphas are
// clamped to 0 by OpenGL, so the parts vanish one after the other).
void DrawGreetingsFrame(double fade, bool fading) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  // Room, centred on the eye.
  LoadRoomFrame();
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, Textures.checkers2->Name);
  glColor4d(1, 1, 1, 0.4 - fade);
  glCallList(RoomList);
  glDisable(GL_TEXTURE_2D);

  // Panel.
  glLoadIdentity();
  glColor4d(1, 1, 1, 1 - fade);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, Textures.greets3->Name);
  glBegin(GL_QUADS);
  glTexCoord2d(0, 1);
  glVertex3d(-7, -4.5, -15);
  glTexCoord2d(1, 1);
  glVertex3d(-1, -4.5, -15);
  glTexCoord2d(1, 0);
  glVertex3d(-1, 4, -15);
  glTexCoord2d(0, 0);
  glVertex3d(-7, 4, -15);
  glEnd();
  glDisable(GL_TEXTURE_2D);

  // Bands, identity still loaded.
  DrawBandBlock(Textures.greets1, 1 - fade, 1);
  DrawBandBlock(Textures.greets1, 0.3 - fade, 9);
  DrawBandBlock(Textures.greets2, 1 - fade, 5);
  DrawBandBlock(Textures.greets2, 0.3 - fade, 13);

  AngleX = AngleX + 0.2;
  AngleY = AngleY + 0.2;

  if (fading && Progress < 1) Progress = Progress + 0.02;

  particle::ParticleArray& records = ParticlePool->Particles;
  for (int i = 1; i <= 8; ++i) {
    if (records[i].Z < kBandRestDepth) records[i].Z += kFlightStep;
  }
  for (int i = 9; i <= 16; ++i) {
    if (records[i].Z < kCopyEndDepth) records[i].Z += kFlightStep;
  }
}

}  // namespace

void GreetingsSetup() {
  ScenePhase = 99;
  Progress = 0;
  AngleX = 0;
  AngleY = 0;

  particle::ParticleArray& records = ParticlePool->Particles;
  for (int i = 1; i <= 8; ++i) {
    records[i].X = 0;
    records[i].Y = 4.5 - i;
    records[i].Z = -100 - 6 * i;
  }
  // Each copy starts where its band starts.
  for (int i = 9; i <= 16; ++i) {
    records[i].X = 0;
    records[i].Y = 4.5 - (i - 8);
    records[i].Z = -100 - 6 * (i - 8);
  }

  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);

  // The earlier room list stays allocated; nothing draws it any more.
  RoomList = CompileRoom();
}

void GreetingsScene() {
  if (ScenePhase < 99) GreetingsSetup();
  DrawGreetingsFrame(0, false);
}

void GreetingsFadeScene() { DrawGreetingsFrame(Progress, true); }

}  // namespace scenes
