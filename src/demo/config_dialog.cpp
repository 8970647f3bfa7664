#include "demo/config_dialog.h"

namespace demo {

// Until the dialog exists the run starts with the settings as they are.
void RunConfigDialog(DemoSettings&) {}

}  // namespace demo
