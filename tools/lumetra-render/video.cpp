// Video.
#include "modes.h"
namespace render { int RecordVideo(const Job&) { PrintError("video: not yet"); return 1; } }
