// Timing.
#include "modes.h"
namespace render { int RunTiming(const Job&) { PrintError("timing: not yet"); return 1; } }
