// State shared by name between the scene routines, living for the whole run.
// The driver fills the clock, the texture slots, the particle pool and the tables.
#pragma once

#include <GL/gl.h>

#include <array>
#include <cstdint>

#include "framework/particle/particle.h"
#include "framework/texture/texture.h"

namespace scenes {

extern int32_t SceneClock;     // ms, read once per frame from the music stream
extern int32_t ScenePhase;     // one-time set-up marker; 10 at start-up
extern int32_t FlashCounter;   // overlay frame counter; 0 at start-up
extern double SpinAngle;       // checker-stack rotation, degrees; 0 at start-up
extern double Progress;        // per-frame slide or fade amount
extern double AngleX;          // room rotations, degrees
extern double AngleY;
extern double AngleZ;
extern GLuint RoomList;        // display list of the room cube

// Entries 1 to 1280: 2 cos((i - 1) * 0.005). Entry 0 is not part of the table and
// stays 0, so a look-up at 0 moves nothing.
extern std::array<double, 1281> CosTable;
// Entries 0 to 360: 1024 sin(i degrees), truncated toward zero.
extern std::array<int32_t, 361> SinTab;

extern texture::TextureBank Textures;
extern particle::ParticleSystem* ParticlePool;

}  // namespace scenes
