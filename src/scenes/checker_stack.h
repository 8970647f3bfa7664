// The tumbling checker stack and the three scenes that show it.
#pragma once

namespace scenes {

void CheckerStackScene1();
void CheckerStackScene2();
void CheckerStackScene3();

}  // namespace scenes
