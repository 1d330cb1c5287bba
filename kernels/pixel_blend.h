#pragma once

#include <cstdint>

namespace vividra::fx {

// `from` towards `to` by `weight` (0…255), both whole premultiplied pixels as words:
// two channels at a time, rounded as a division by 255.
inline std::uint32_t blendPixels(std::uint32_t from, std::uint32_t to, std::uint32_t weight) {
    const std::uint32_t inv = 255 - weight;
    std::uint32_t rb = (to & 0xff00ffu) * weight + (from & 0xff00ffu) * inv;
    rb = ((rb + ((rb >> 8) & 0xff00ffu) + 0x800080u) >> 8) & 0xff00ffu;
    std::uint32_t ag = ((to >> 8) & 0xff00ffu) * weight + ((from >> 8) & 0xff00ffu) * inv;
    ag = (ag + ((ag >> 8) & 0xff00ffu) + 0x800080u) & 0xff00ff00u;
    return rb | ag;
}

} // namespace vividra::fx
