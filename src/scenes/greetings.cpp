#include "scenes/greetings.h"

#include "scenes/globals.h"

namespace scenes {

void GreetingsScene() {}
void GreetingsFadeScene() {}

}  // namespace scenes
