// The scenes' whole state between frames (the globals they share, the pool's records,
// the canvas's pixels, the random generator), set aside and put back: frames drawn in
// between (the driver's warm-up) leave the run as if they had never been drawn.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "framework/particle/particle.h"
#include "framework/particle/random.h"

namespace scenes {

struct SceneState {
  int32_t sceneClock, scenePhase, flashCounter;
  double spinAngle, progress, angleX, angleY, angleZ;
  GLuint roomList;
  int32_t plasmaPhase;
  double streamSpin;
  int32_t pulseIndex1, pulseIndex2;
  double pulseRadius1, pulseRadius2;
  std::unique_ptr<particle::ParticleSystem> pool;  // none while there is no pool
  std::vector<uint8_t> canvas;                     // the canvas's pixels, if any
  particle::RandomState random;
};

SceneState SaveSceneState();
// Puts the state back; the canvas's texture is sent its pixels again.
void RestoreSceneState(const SceneState& state);

}  // namespace scenes
