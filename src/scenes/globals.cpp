#include "scenes/globals.h"

namespace scenes {

int32_t SceneClock = 0;
int32_t ScenePhase = 10;
int32_t FlashCounter = 0;
double SpinAngle = 0.0;
double Progress = 0.0;
double AngleX = 0.0;
double AngleY = 0.0;
double AngleZ = 0.0;
GLuint RoomList = 0;
std::array<double, 1281> CosTable{};
std::array<int32_t, 361> SinTab{};
texture::TextureBank Textures{};
particle::ParticleSystem* ParticlePool = nullptr;

}  // namespace scenes
