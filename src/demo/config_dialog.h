// The start-up configuration dialog on DemoSettings.
#pragma once

#include "demo/settings.h"

namespace demo {

// Lets the user edit settings; returns on "Go!", ends the program on Cancel or close.
void RunConfigDialog(DemoSettings& settings);

}  // namespace demo
