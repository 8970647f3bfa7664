// The stream squares and flare tiles drawn with OpenGL's own matrix calls, one
// batch per quad, exactly in the written order: what the scenes' eye-space
// drawing must match.
#pragma once

#include <cstdint>
#include <optional>

namespace review {

void ReferenceFlareTile(int32_t v, double y);
void ReferenceStream(std::optional<double> spin);

}  // namespace review
