#pragma once

#include <optional>
#include <string_view>

#include "kernels/image_view.h"

namespace vividra::fx {

// The eight photo looks: three black and white, five colour.
enum class Look { Mono, Tonal, Noir, Chrome, Fade, Instant, Process, Transfer };

// "Mono", "Tonal", ... exactly; anything else has no look.
std::optional<Look> lookFromName(std::string_view name);

// Applies a look through its 3-D colour lookup table. `out` may be `in`.
[[nodiscard]] bool photoLook(const ConstImageView& in, const ImageView& out, Look look);

} // namespace vividra::fx
