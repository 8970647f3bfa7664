// The warm-up, while the loading picture is still on screen: what a renderer prepares
// on the first use of each drawing path (a software renderer compiles code for each new
// combination of state, a browser's GL its own), paid before the run instead of at the
// first frame of each scene.
#pragma once

#include <cstdint>

namespace demo {

// After the loading: the first frame of every scene of the Timeline drawn once into one
// pixel of each framebuffer the run may draw into (window::ForEachPictureTarget),
// which the run's first frame clears. The scenes' state
// and the GL state they leave are put back, and the viewport is width x height again.
void WarmUpScenes(int32_t width, int32_t height);

}  // namespace demo
