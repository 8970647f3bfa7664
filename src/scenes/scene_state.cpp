#include "scenes/scene_state.h"

#include <cstring>
#include <vector>

#include "framework/particle/random.h"
#include "scenes/globals.h"
#include "scenes/plasma.h"
#include "scenes/star_stream.h"

namespace scenes {

namespace {

size_t CanvasBytes(const texture::CanvasTexture* canvas) {
  if (!canvas || canvas->Width <= 0 || canvas->Height <= 0) return 0;
  return static_cast<size_t>(canvas->Width) * static_cast<size_t>(canvas->Height) * 4;
}

}  // namespace

SceneState SaveSceneState() {
  SceneState s{SceneClock,  ScenePhase,  FlashCounter, SpinAngle,   Progress,
               AngleX,      AngleY,      AngleZ,       RoomList,    PlasmaPhase,
               StreamSpin,  PulseIndex1, PulseIndex2,  PulseRadius1, PulseRadius2,
               nullptr,     {},          particle::SaveRandom()};
  if (ParticlePool) s.pool = std::make_unique<particle::ParticleSystem>(*ParticlePool);
  const texture::CanvasTexture* canvas = Textures.canvas;
  if (const size_t bytes = CanvasBytes(canvas))
    s.canvas.assign(canvas->Pixels, canvas->Pixels + bytes);
  return s;
}

void RestoreSceneState(const SceneState& s) {
  SceneClock = s.sceneClock;
  ScenePhase = s.scenePhase;
  FlashCounter = s.flashCounter;
  SpinAngle = s.spinAngle;
  Progress = s.progress;
  AngleX = s.angleX;
  AngleY = s.angleY;
  AngleZ = s.angleZ;
  RoomList = s.roomList;
  PlasmaPhase = s.plasmaPhase;
  StreamSpin = s.streamSpin;
  PulseIndex1 = s.pulseIndex1;
  PulseIndex2 = s.pulseIndex2;
  PulseRadius1 = s.pulseRadius1;
  PulseRadius2 = s.pulseRadius2;
  if (ParticlePool && s.pool) *ParticlePool = *s.pool;
  particle::RestoreRandom(s.random);
  texture::CanvasTexture* canvas = Textures.canvas;
  if (canvas && s.canvas.size() == CanvasBytes(canvas)) {
    std::memcpy(canvas->Pixels, s.canvas.data(), s.canvas.size());
    texture::Upload(canvas);
  }
}

}  // namespace scenes
