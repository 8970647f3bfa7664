#include "demo/loading_screen.h"

namespace demo {

void ShowLoadingScreen() {}

}  // namespace demo
