// The greetings room: a faint turning room, the greets3 panel, and the greets1 and
// greets2 pictures flying in band by band with faint copies; then the fade to black.
#pragma once

namespace scenes {

// ScenePhase 99, Progress and the room angles to 0, the sixteen band positions in
// pool records 1 to 16, filled polygons, and a freshly compiled RoomList.
void GreetingsSetup();

// 56001-66000 ms: the set-up on its first frame, then the effect.
void GreetingsScene();

// 66001-70000 ms: the same effect, everything fading out by Progress.
void GreetingsFadeScene();

}  // namespace scenes
