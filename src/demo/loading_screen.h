// The loading picture shown while the rest of the start-up runs.
#pragma once

namespace demo {

// Loads data/loading.tqz into the loading slot, draws and presents it, then waits
// 2000 ms of tick count.
void ShowLoadingScreen();

}  // namespace demo
