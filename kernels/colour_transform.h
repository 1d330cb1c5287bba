#pragma once

#include <cstdint>

#include "kernels/image_view.h"

namespace vividra::fx {

// Entries of each encoding table. They are spaced evenly in the square root of linear
// light, not in linear light itself: a pure power curve rises infinitely steeply from
// black, and even spacing there would leave the darkest levels several codes out.
inline constexpr int kEncodeEntries = 4096;

// The linear light that encoding-table entry `i` stands for.
inline constexpr float encodeSamplePoint(int i) {
    const float root = static_cast<float>(i) / (kEncodeEntries - 1);
    return root * root;
}

// A matrix-and-curves conversion from one RGB space to another. Channels are named
// red, green, blue whatever the pixels' byte order.
struct CurveTransform {
    // Source code to linear light, per source channel.
    alignas(64) float decode[3][256];
    // Linear source to linear destination RGB: out[k] = Σ matrix[k][j]·in[j].
    float matrix[3][3];
    // Linear light at encodeSamplePoint(i) to destination code, per destination channel.
    alignas(64) std::uint8_t encode[3][kEncodeEntries];
    // Vector lookups read four bytes at a time, so the last entry needs three behind it.
    std::uint8_t tail[4] = {};
};

// Converts premultiplied-alpha pixels in place: opaque pixels directly, translucent ones
// unpremultiplied to whole codes, converted and premultiplied again; alpha is kept and
// colours out of the destination's gamut are clamped. False when the threads could not
// run for lack of memory, with rows possibly left unconverted.
[[nodiscard]] bool transformColours(const ImageView& pixels, const CurveTransform& transform);

} // namespace vividra::fx
