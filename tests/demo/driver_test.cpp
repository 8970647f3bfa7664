// The driver's own run: the frame loop against a stream position the test scripts,
// and the program's start-up and shutdown order. No display and no sound: the
// linker routes the driver's calls into the window, music, timeline and start-up
// units through the stand-ins below (--wrap, extra.cmake). Outside a scripted run
// each stand-in passes the call on to the real routine, so the other tests of this
// program are unaffected.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "demo/driver.h"
#include "demo/settings.h"
#include "framework/window/window.h"

int LumetraMain();  // the program's main, compiled in under this name

namespace {

// What the stand-ins do: pass the call on, or record it for a scripted run of the
// frame loop or of main.
enum class Mode { PassOn, Loop, Main };
Mode mode = Mode::PassOn;
std::vector<std::string> calls;
int32_t position = 0;  // the scripted stream position; each read advances it by 1 ms
int escapeAtEvent = 0;  // the event (counted from 1) that is an Escape key, 0 for none
int events = 0;

}  // namespace

// The stand-ins, under the names the linker gives wrapped C++ routines.
#define WRAPPED(mangled) __asm__("__wrap_" mangled)
#define REAL(mangled) __asm__("__real_" mangled)
#define PASS_ON_UNLESS(m, call) \
  if (mode != Mode::m) return call

void WrapDispatchOneEvent() WRAPPED("_ZN6window16DispatchOneEventEv");
void RealDispatchOneEvent() REAL("_ZN6window16DispatchOneEventEv");
void WrapDispatchOneEvent() {
  PASS_ON_UNLESS(Loop, RealDispatchOneEvent());
  calls.push_back("event");
  // Escape clears Running, as the window unit does; a loop that never ends stops here.
  if (++events == escapeAtEvent || events > 100000) window::Running = false;
}

int32_t WrapStreamPosition() WRAPPED("_ZN5music14StreamPositionEv");
int32_t RealStreamPosition() REAL("_ZN5music14StreamPositionEv");
int32_t WrapStreamPosition() {
  PASS_ON_UNLESS(Loop, RealStreamPosition());
  calls.push_back("read " + std::to_string(position));
  return position++;
}

void WrapDrawTimelineFrame(int32_t clock) WRAPPED("_ZN4demo17DrawTimelineFrameEi");
void RealDrawTimelineFrame(int32_t clock) REAL("_ZN4demo17DrawTimelineFrameEi");
void WrapDrawTimelineFrame(int32_t clock) {
  PASS_ON_UNLESS(Loop, RealDrawTimelineFrame(clock));
  calls.push_back("draw " + std::to_string(clock));
}

void WrapSwapFrame() WRAPPED("_ZN6window9SwapFrameEv");
void RealSwapFrame() REAL("_ZN6window9SwapFrameEv");
void WrapSwapFrame() {
  PASS_ON_UNLESS(Loop, RealSwapFrame());
  calls.push_back("swap");
}

void WrapSendDestroy() WRAPPED("_ZN6window11SendDestroyEv");
void RealSendDestroy() REAL("_ZN6window11SendDestroyEv");
void WrapSendDestroy() {
  PASS_ON_UNLESS(Loop, RealSendDestroy());
  calls.push_back("close");
  window::Running = false;
}

// main's steps, recorded under a label.
#define RECORDED(name, mangled, label)  \
  void Wrap##name() WRAPPED(mangled);   \
  void Real##name() REAL(mangled);      \
  void Wrap##name() {                   \
    PASS_ON_UNLESS(Main, Real##name()); \
    calls.push_back(label);             \
  }
RECORDED(Randomize, "_ZN8particle9RandomizeEv", "random seed")
RECORDED(ShowLoadingScreen, "_ZN4demo17ShowLoadingScreenEv", "loading screen")
RECORDED(BuildTables, "_ZN4demo11BuildTablesEv", "tables")
RECORDED(LoadTextureBank, "_ZN4demo15LoadTextureBankEv", "textures")
RECORDED(CreateParticlePool, "_ZN4demo18CreateParticlePoolEv", "particle pool")
RECORDED(ResetSceneGlobals, "_ZN4demo17ResetSceneGlobalsEv", "scene globals")
RECORDED(RunFrameLoop, "_ZN4demo12RunFrameLoopEv", "frame loop")
RECORDED(StopMusic, "_ZN5music9StopMusicEv", "music stopped")
RECORDED(DestroyTextureBank, "_ZN4demo18DestroyTextureBankEv", "textures released")
RECORDED(DestroyParticlePool, "_ZN4demo19DestroyParticlePoolEv", "particle pool released")
RECORDED(CloseWindow, "_ZN6window11CloseWindowEv", "window closed")

// The dialog (not part of this program) records what it was given and makes choices
// that differ from every default.
void WrapRunConfigDialog(demo::DemoSettings& s)
    WRAPPED("_ZN4demo15RunConfigDialogERNS_12DemoSettingsE");
void WrapRunConfigDialog(demo::DemoSettings& s) {
  const demo::DemoSettings d;
  const bool defaults = s.Width == d.Width && s.Height == d.Height &&
                        s.ColorBits == d.ColorBits && s.Fullscreen == d.Fullscreen &&
                        s.Music == d.Music;
  calls.push_back(defaults ? "dialog on the defaults" : "dialog on other settings");
  s = demo::DemoSettings{800, 600, 16, false, false};
}

void WrapOpenWindow(const char* title, int32_t w, int32_t h, int32_t bits, bool full)
    WRAPPED("_ZN6window10OpenWindowEPKciiib");
void RealOpenWindow(const char* title, int32_t w, int32_t h, int32_t bits, bool full)
    REAL("_ZN6window10OpenWindowEPKciiib");
void WrapOpenWindow(const char* title, int32_t w, int32_t h, int32_t bits, bool full) {
  PASS_ON_UNLESS(Main, RealOpenWindow(title, w, h, bits, full));
  calls.push_back("window " + std::string(title) + " " + std::to_string(w) + "x" +
                      std::to_string(h) + "x" + std::to_string(bits) +
                      (full ? " full screen" : " windowed"));
}

void WrapInitGLState(int32_t w, int32_t h) WRAPPED("_ZN4demo11InitGLStateEii");
void RealInitGLState(int32_t w, int32_t h) REAL("_ZN4demo11InitGLStateEii");
void WrapInitGLState(int32_t w, int32_t h) {
  PASS_ON_UNLESS(Main, RealInitGLState(w, h));
  calls.push_back("GL state " + std::to_string(w) + "x" + std::to_string(h));
}

void WrapWarmUpScenes(int32_t w, int32_t h) WRAPPED("_ZN4demo12WarmUpScenesEii");
void RealWarmUpScenes(int32_t w, int32_t h) REAL("_ZN4demo12WarmUpScenesEii");
void WrapWarmUpScenes(int32_t w, int32_t h) {
  PASS_ON_UNLESS(Main, RealWarmUpScenes(w, h));
  calls.push_back("warm-up " + std::to_string(w) + "x" + std::to_string(h));
}

void WrapStartMusic(bool music) WRAPPED("_ZN5music10StartMusicEb");
void RealStartMusic(bool music) REAL("_ZN5music10StartMusicEb");
void WrapStartMusic(bool music) {
  PASS_ON_UNLESS(Main, RealStartMusic(music));
  calls.push_back(music ? "music on" : "music silent");
}

namespace {

// Runs the real frame loop from the given stream position until it ends.
std::vector<std::string> RunLoop(int32_t start, int escapeAt = 0) {
  mode = Mode::Loop, calls.clear(), position = start, escapeAtEvent = escapeAt, events = 0;
  window::Running = true;
  demo::RunFrameLoop();
  mode = Mode::PassOn;
  return calls;
}

// One frame as the loop must run it: one event, one read, the draw of that read, the
// close when it is sent, reads until the position has reached the clock + 15, then
// the swap.
void AddFrame(std::vector<std::string>& frames, int32_t clock, bool close = false) {
  const std::string read = "read " + std::to_string(clock);
  frames.insert(frames.end(), {"event", read, "draw " + std::to_string(clock)});
  if (close) frames.push_back("close");
  for (int32_t t = clock + 1; t <= clock + 15; ++t) frames.push_back("read " + std::to_string(t));
  frames.push_back("swap");
}

TEST(FrameLoop, DrawsEachFifteenMsOfStreamTimeUntilTheFirstFrameAbove70000) {
  // A frame lands on 70000 exactly, and the run goes on to 70016.
  std::vector<std::string> frames;
  for (int32_t clock : {69968, 69984, 70000}) AddFrame(frames, clock);
  AddFrame(frames, 70016, true);
  EXPECT_EQ(RunLoop(69968), frames);

  // A frame lands on 70001.
  frames.clear();
  for (int32_t clock : {69969, 69985}) AddFrame(frames, clock);
  AddFrame(frames, 70001, true);
  EXPECT_EQ(RunLoop(69969), frames);
}

TEST(FrameLoop, EscapeEndsTheRunAfterThatFrameAndItsWait) {
  std::vector<std::string> frames;
  for (int32_t clock : {1000, 1016, 1032}) AddFrame(frames, clock);
  EXPECT_EQ(RunLoop(1000, 3), frames);
}

TEST(Program, StartsUpAndShutsDownInTheDriversOrder) {
  demo::Settings = demo::DemoSettings{1024, 768, 16, false, false};
  mode = Mode::Main, calls.clear();
  EXPECT_EQ(LumetraMain(), 0);
  mode = Mode::PassOn;
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "random seed", "dialog on the defaults",
                       "window Lumetra 800x600x16 windowed", "GL state 800x600",
                       "loading screen", "tables", "textures", "particle pool",
                       "scene globals", "warm-up 800x600", "music silent", "frame loop",
                       "music stopped",
                       "textures released", "particle pool released", "window closed"}));
}

}  // namespace
