// The spike star and particle stream in the turning room (two scenes).
#pragma once

namespace scenes {

void StarStreamScene1();
void StarStreamScene2();

}  // namespace scenes
