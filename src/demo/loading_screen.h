// The loading picture shown while the rest of the start-up runs.
#pragma once

#include <cstdint>

namespace demo {

// Loads data/loading.tqz into the loading slot, draws and presents it, then waits
// 2000 ms of tick count.
void ShowLoadingScreen();

// The drawing part of ShowLoadingScreen: texture environment GL_MODULATE, the
// loading slot filled, the picture drawn centred over black. Nothing presented.
void DrawLoadingScreen();

// Its picture drawn again from the loading slot, over black. Nothing presented.
void DrawLoadingPicture();

// Polls the tick count, without sleeping, until ms milliseconds have passed.
void WaitTicks(uint64_t ms);

}  // namespace demo
