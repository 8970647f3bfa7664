// Plasma layer scenes: the sine table, the plasma generator and the three scenes,
// which differ only in the values of their settings table.
#include "scenes/plasma.h"

#include <GL/gl.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "scenes/globals.h"

namespace scenes {

int32_t PlasmaPhase = 0;

namespace {

// The values that make one plasma scene differ from the others.
struct PlasmaSettings {
  int32_t Marker;                 // ScenePhase value stored by the set-up
  int32_t StartPhase;             // PlasmaPhase at set-up
  double StartX, StartY, StartZ;  // AngleX, AngleY, AngleZ at set-up, degrees
  double Depth;                   // translation of the stack along z
  double TurnX, TurnY, TurnZ;     // extra rotation per layer, degrees, accumulating
  double StepX, StepY, StepZ;     // per-frame steps of the angles, degrees
  bool ResetsFlash;               // whether late frames reset FlashCounter
  int32_t FlashResetAfter;        // ms; frames above it reset FlashCounter
};

constexpr PlasmaSettings kPlasma1 = {
    .Marker = 30, .StartPhase = 0,
    .StartX = 0, .StartY = 0, .StartZ = 0,
    .Depth = -25,
    .TurnX = 3, .TurnY = 3, .TurnZ = -3,
    .StepX = 0.1, .StepY = 0.1, .StepZ = 0.1,
    .ResetsFlash = true, .FlashResetAfter = 41000};

constexpr PlasmaSettings kPlasma2 = {
    .Marker = 32, .StartPhase = 700,
    .StartX = -60, .StartY = -60, .StartZ = -60,
    .Depth = -15,
    .TurnX = 3, .TurnY = 3, .TurnZ = -3,
    .StepX = 0.3, .StepY = 0, .StepZ = 0.3,
    .ResetsFlash = true, .FlashResetAfter = 48000};

constexpr PlasmaSettings kPlasma3 = {
    .Marker = 33, .StartPhase = 2100,
    .StartX = 20, .StartY = -40, .StartZ = -20,
    .Depth = -15,
    .TurnX = 6, .TurnY = 6, .TurnZ = -6,
    .StepX = -0.2, .StepY = 0.4, .StepZ = 0.1,
    .ResetsFlash = false, .FlashResetAfter = 0};

constexpr int kPlasmaSize = 256;

// SinTab index of an angle in whole degrees. The phase never goes negative in a run;
// the wrap keeps the index in range even if it did.
int Degrees(int64_t angle) {
  const int64_t m = angle % 360;
  return static_cast<int>(m < 0 ? m + 360 : m);
}

// The canvas word of plasma level s: red = green = blue = s and alpha = 255 - s,
// each on its low 8 bits (255 - s and the complement of s agree on them).
static_assert(std::endian::native == std::endian::little,
              "canvas words are assembled with red in the lowest byte");
inline uint32_t PlasmaWord(int32_t s) {
  const uint32_t grey = static_cast<uint32_t>(s) & 0xFFu;
  return (grey * 0x01010101u) ^ 0xFF000000u;
}

void RunPlasmaSetup(const PlasmaSettings& s) {
  ScenePhase = s.Marker;
  PlasmaPhase = s.StartPhase;
  AngleX = s.StartX;
  AngleY = s.StartY;
  AngleZ = s.StartZ;
}

void DrawPlasmaFrame(const PlasmaSettings& s, void (*setup)()) {
  if (ScenePhase < s.Marker) setup();

  UpdatePlasmaTexture();

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  glLoadIdentity();
  glTranslated(0, 0, s.Depth);
  glColor4d(1, 1, 1, 0.7);
  glRotated(AngleX, 1, 0, 0);
  glRotated(AngleY, 0, 1, 0);
  glRotated(AngleZ, 0, 0, 1);

  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, Textures.canvas->Name);

  // Each layer turns a little further than the one before: no push or pop.
  for (int i = 1; i <= 4; ++i) {
    glRotated(s.TurnX, 1, 0, 0);
    glRotated(s.TurnY, 0, 1, 0);
    glRotated(s.TurnZ, 0, 0, 1);
    const double z = i / 10.0;
    glBegin(GL_QUADS);
    glTexCoord2d(1, 1);
    glVertex3d(-10, -10, z);
    glTexCoord2d(0, 1);
    glVertex3d(10, -10, z);
    glTexCoord2d(0, 0);
    glVertex3d(10, 10, z);
    glTexCoord2d(1, 0);
    glVertex3d(-10, 10, z);
    glEnd();
  }

  glDisable(GL_TEXTURE_2D);

  PlasmaPhase = PlasmaPhase + 1;
  AngleX += s.StepX;
  AngleY += s.StepY;
  AngleZ += s.StepZ;

  if (s.ResetsFlash && SceneClock > s.FlashResetAfter) FlashCounter = 0;
}

}  // namespace

void BuildSinTab() {
  // Extended-precision pi (the x87 constant); the angle is rounded to a double before
  // the sine, as the table has always been computed.
  constexpr long double kPi = 3.14159265358979323846264338327950288L;
  for (int i = 0; i <= 360; ++i) {
    const double r = static_cast<double>(static_cast<long double>(i) * kPi / 180.0L);
    SinTab[i] = static_cast<int32_t>(std::sin(static_cast<long double>(r)) * 1024.0L);
  }
}

void UpdatePlasmaTexture() {
  texture::CanvasTexture* canvas = Textures.canvas;
  const int64_t t = PlasmaPhase;

  // The column terms A (per x) and row terms B (per y); each pixel is their sum.
  int32_t columnA[kPlasmaSize];
  int32_t rowB[kPlasmaSize];
  for (int x = 0; x < kPlasmaSize; ++x) {
    columnA[x] = 30 * SinTab[Degrees(2 * x + 2 * t)] + 20 * SinTab[Degrees(x + t)] +
                 40 * SinTab[Degrees((x >> 1) + (t >> 2))];
  }
  for (int y = 0; y < kPlasmaSize; ++y) {
    rowB[y] = 30 * SinTab[Degrees((y >> 2) + 2 * t)] + 20 * SinTab[Degrees(y + t)] +
              20 * SinTab[Degrees(2 * y + (t >> 2))];
  }

  // Row by row into the buffer, pixels outside the canvas skipped as SetPixelRGBA
  // would; >> on a negative sum rounds toward minus infinity (floor).
  const int columns = std::clamp(canvas->Width, 0, kPlasmaSize);
  const int rows = std::clamp(canvas->Height, 0, kPlasmaSize);
  uint32_t words[kPlasmaSize];
  for (int y = 0; y < rows; ++y) {
    const int32_t b = rowB[y];
    for (int x = 0; x < kPlasmaSize; ++x) words[x] = PlasmaWord((columnA[x] + b) >> 10);
    std::memcpy(canvas->Pixels + 4 * static_cast<size_t>(y) * canvas->Width, words,
                4 * static_cast<size_t>(columns));
  }

  texture::Upload(canvas);
}

void PlasmaSetup1() { RunPlasmaSetup(kPlasma1); }
void PlasmaSetup2() { RunPlasmaSetup(kPlasma2); }
void PlasmaSetup3() { RunPlasmaSetup(kPlasma3); }

void PlasmaScene1() { DrawPlasmaFrame(kPlasma1, PlasmaSetup1); }
void PlasmaScene2() { DrawPlasmaFrame(kPlasma2, PlasmaSetup2); }
void PlasmaScene3() { DrawPlasmaFrame(kPlasma3, PlasmaSetup3); }

}  // namespace scenes
