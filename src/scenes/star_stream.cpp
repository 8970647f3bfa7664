#include "scenes/star_stream.h"

#include "scenes/globals.h"

namespace scenes {

void StarStreamScene1() {}
void StarStreamScene2() {}

}  // namespace scenes
