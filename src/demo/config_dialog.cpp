#include "demo/config_dialog.h"

#include <cstring>

namespace demo {

const std::array<Resolution, 4> Resolutions = {{
    {"640 x 480", 640, 480},
    {"800 x 600", 800, 600},
    {"1024 x 768", 1024, 768},
    {"1280 x 960", 1280, 960},
}};

ConfigDialogView InitConfigDialog(const DemoSettings& settings) {
  ConfigDialogView view{};
  if (settings.Fullscreen) view.FullscreenChecked = true;
  if (settings.ColorBits == 32) view.TrueColorChecked = true;
  if (settings.Music) view.MusicChecked = true;
  view.SelectedResolution = -1;
  for (size_t i = 0; i < Resolutions.size(); ++i) {
    if (std::strncmp(Resolutions[i].Text, "640", 3) == 0) {
      view.SelectedResolution = static_cast<int32_t>(i);
      break;
    }
  }
  return view;
}

DialogOutcome ConfigDialogCommand(DemoSettings& settings, int32_t command,
                                  int32_t selectedResolution) {
  switch (command) {
    case FullscreenBox:
      settings.Fullscreen = !settings.Fullscreen;
      return DialogOutcome::Stay;
    case TrueColorBox:
      settings.ColorBits = settings.ColorBits == 32 ? 16 : 32;
      return DialogOutcome::Stay;
    case MusicBox:
      settings.Music = !settings.Music;
      return DialogOutcome::Stay;
    case CancelButton:
      return DialogOutcome::Cancel;
    case GoButton:
      if (selectedResolution >= 0 && selectedResolution < static_cast<int32_t>(Resolutions.size())) {
        settings.Width = Resolutions[selectedResolution].Width;
        settings.Height = Resolutions[selectedResolution].Height;
      }
      return DialogOutcome::Go;
    default:
      return DialogOutcome::Stay;
  }
}

}  // namespace demo
