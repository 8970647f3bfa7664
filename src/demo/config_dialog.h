// The start-up configuration dialog: resolution, full screen, true colour, music.
// The dialog's effect on the settings is plain C++ (tested without a display); the
// GTK window in config_dialog_gtk.cpp only forwards its events here.
#pragma once

#include <array>
#include <cstdint>

#include "demo/settings.h"

namespace demo {

// Control ids of the dialog, as in its layout.
enum ConfigControl : int32_t {
  GoButton = 99,
  CancelButton = 98,
  ResolutionList = 50,
  FullscreenBox = 71,
  TrueColorBox = 72,
  MusicBox = 73,
};

struct Resolution {
  const char* Text;
  int32_t Width;
  int32_t Height;
};

// The resolution list, in the order shown.
extern const std::array<Resolution, 4> Resolutions;

// What the dialog shows when it opens.
struct ConfigDialogView {
  bool FullscreenChecked;
  bool TrueColorChecked;
  bool MusicChecked;
  int32_t SelectedResolution;  // index into Resolutions, -1 for none
};

// Boxes are ticked for the flags that are set (the others stay unticked as laid out);
// the first resolution whose text begins with "640" is selected.
ConfigDialogView InitConfigDialog(const DemoSettings& settings);

enum class DialogOutcome {
  Stay,    // the dialog goes on
  Go,      // start with the settings
  Cancel,  // end the program before any window opens
};

// A click on control `command`. The check boxes flip their flag on every click
// ("True Color" between 32 and 16 bits); "Go!" takes the selected resolution when it
// is one of the list's and leaves the size alone otherwise; Cancel ends the program.
DialogOutcome ConfigDialogCommand(DemoSettings& settings, int32_t command,
                                  int32_t selectedResolution);

// Shows the dialog and lets the user edit settings. Returns when "Go!" is pressed, at
// once with the settings untouched when no display can show it; Cancel and closing
// the dialog end the program with exit code 0.
void RunConfigDialog(DemoSettings& settings);

}  // namespace demo
