#include "scenes/plasma.h"

#include "scenes/globals.h"

namespace scenes {

void PlasmaScene1() {}
void PlasmaScene2() {}
void PlasmaScene3() {}
void BuildSinTab() {}

}  // namespace scenes
