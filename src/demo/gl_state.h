// The fixed OpenGL state every scene relies on, and the driver's cosine table.
#pragma once

#include <cstdint>

namespace demo {

// Viewport, 45-degree perspective, additive blending, no depth test, smooth shading.
void InitGLState(int32_t width, int32_t height);

// scenes::CosTable entries 1 to 1280 from an angle accumulated in steps of 0.005.
void BuildCosTable();

}  // namespace demo
