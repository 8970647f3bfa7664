#include "demo/settings.h"

namespace demo {

DemoSettings Settings;

}  // namespace demo
