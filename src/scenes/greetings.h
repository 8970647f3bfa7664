// The greetings room: panel and picture bands flying in, then the fade to black.
#pragma once

namespace scenes {

void GreetingsScene();
void GreetingsFadeScene();

}  // namespace scenes
