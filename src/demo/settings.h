// The user's choices from the configuration dialog.
#pragma once

#include <cstdint>

namespace demo {

struct DemoSettings {
  int32_t Width = 640;      // pixels
  int32_t Height = 480;     // pixels
  int32_t ColorBits = 32;   // 32 or 16
  bool Fullscreen = true;
  bool Music = true;
};

extern DemoSettings Settings;

}  // namespace demo
