// Lumetra: the whole run, from the random seed to the shutdown.
#include "demo/config_dialog.h"
#include "demo/driver.h"
#include "demo/gl_state.h"
#include "demo/loading_screen.h"
#include "demo/settings.h"
#include "demo/warm_up.h"
#include "framework/particle/random.h"
#include "framework/window/window.h"
#include "music/music.h"

int main() {
  using namespace demo;
  particle::Randomize();
  Settings = DemoSettings{};
  RunConfigDialog(Settings);
  window::OpenWindow("Lumetra", Settings.Width, Settings.Height, Settings.ColorBits,
                     Settings.Fullscreen);
  InitGLState(Settings.Width, Settings.Height);
  ShowLoadingScreen();
  LoadProduction();
  WarmUpScenes(Settings.Width, Settings.Height);
  music::StartMusic(Settings.Music);

  RunFrameLoop();

  music::StopMusic();
  ReleaseProduction();
  window::CloseWindow();
  return 0;
}
