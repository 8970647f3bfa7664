// The two star-and-stream scenes: the checkered room with the star and the bluish
// stream, then the wire room with three echoed stars and the spinning white stream.
#include "scenes/star_stream.h"

#include <GL/gl.h>

#include "framework/particle/particle.h"
#include "framework/particle/random.h"
#include "scenes/globals.h"
#include "scenes/room.h"

namespace scenes {

double StreamSpin = 0;
int32_t PulseIndex1 = 1;
int32_t PulseIndex2 = 1000;
double PulseRadius1 = 0;
double PulseRadius2 = 0;

void StarStreamSetup1() {
  ScenePhase = 20;
  SpinAngle = 0;
  PulseIndex1 = 1;
  PulseIndex2 = 1000;
  AngleX = 0;
  AngleY = 0;
  StreamSpin = 0;
  PulseRadius1 = CosTable[1] / 2 + 0.5;
  PulseRadius2 = CosTable[1000] / 4 + 0.5;
  // Spread over X 20.0 to 59.9: the start value is drawn before the record's own draws.
  for (int32_t i = 1; i <= 400; ++i) {
    const double startX = (particle::Random(400) - 200) / 10.0 + 40;
    particle::EmitParticle(ParticlePool->Particles[i], startX);
  }
  RoomList = CompileRoom();
}

void StarStreamScene1() {
  if (ScenePhase < 20) StarStreamSetup1();

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  // The faint checkered room around the viewer.
  LoadRoomFrame();
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, Textures.checkers->Name);
  glColor4f(1, 1, 1, 0.2f);
  glPolygonMode(GL_FRONT, GL_FILL);
  glPolygonMode(GL_BACK, GL_FILL);
  glCallList(RoomList);
  glDisable(GL_TEXTURE_2D);

  // The star, tumbling at twice the room's rate.
  glLoadIdentity();
  glTranslated(0, 0, -25);
  glRotated(2 * AngleX, 1, 0, 0);
  glRotated(2 * AngleY, 0, 1, 0);
  DrawSpikeStar(0.4f, 1.0f);

  // The bluish stream, on top of everything.
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, Textures.flare->Name);
  glColor4f(0.6f, 0.6f, 1, 1);
  glPolygonMode(GL_FRONT, GL_FILL);
  glPolygonMode(GL_BACK, GL_FILL);
  DrawStream(std::nullopt);
  glDisable(GL_TEXTURE_2D);

  StreamSpin = StreamSpin + 1;
  AngleX = AngleX + 0.3;
  AngleY = AngleY + 0.3;
  AdvanceStream();
  AdvancePulse();
  // The flash that opens the next scene starts from 0.
  if (SceneClock > 20000) FlashCounter = 0;
}

void StarStreamSetup2() { ScenePhase = 21; }

void StarStreamScene2() {
  if (ScenePhase < 21) StarStreamSetup2();

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  // The room as white edges.
  LoadRoomFrame();
  glColor4f(1, 1, 1, 1);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glCallList(RoomList);

  // Three stars, each nearer, lagging and fainter than the one before. Every copy
  // starts from the identity, so the turn each star leaves behind does not carry over.
  for (int j : {0, 5, 10}) {
    glLoadIdentity();
    glTranslated(0, 0, j / 2.0 - 25);
    glRotated(2 * AngleX - j, 1, 0, 0);
    glRotated(2 * AngleY - j, 0, 1, 0);
    DrawSpikeStar(static_cast<float>(0.4 - (j / 40.0 + 0.1)),
                  static_cast<float>(1 - (j / 13.0 + 0.1)));
  }

  // The flash that opens the next scene starts from 0.
  if (SceneClock > 27000) FlashCounter = 0;

  // The white stream, spinning about the room's x axis as a whole.
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, Textures.flare2->Name);
  glColor4f(1, 1, 1, 1);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  DrawStream(StreamSpin);
  glDisable(GL_TEXTURE_2D);

  StreamSpin = StreamSpin + 1;
  // Room and stars stop turning here; the stream keeps moving.
  if (SceneClock < 26500) {
    AngleX = AngleX + 0.3;
    AngleY = AngleY + 0.3;
  }
  AdvanceStream();
  AdvancePulse();
}

}  // namespace scenes
