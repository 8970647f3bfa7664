#include "scenes/checker_stack.h"

#include "scenes/globals.h"

namespace scenes {

void CheckerStackScene1() {}
void CheckerStackScene2() {}
void CheckerStackScene3() {}

}  // namespace scenes
