#pragma once

#include <cstddef>
#include <cstdint>

// Every filter over these views returns true when `out` holds its result, and
// false when the sizes differ or memory ran out; `out` then holds no result.
// Filters never throw.

namespace vividra::fx {

// Byte order of one pixel in memory. Qt's ARGB32 on little-endian machines is BGRA.
enum class ChannelOrder { RGBA, BGRA };

// A window onto 8-bit, four-channel, straight-alpha pixels owned by someone else.
struct ImageView {
    std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0; // bytes from one row to the next
    ChannelOrder order = ChannelOrder::RGBA;

    std::uint8_t* row(int y) const { return data + static_cast<std::ptrdiff_t>(y) * stride; }
    bool empty() const { return data == nullptr || width <= 0 || height <= 0; }
};

struct ConstImageView {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    ChannelOrder order = ChannelOrder::RGBA;

    ConstImageView() = default;
    ConstImageView(const std::uint8_t* d, int w, int h, std::ptrdiff_t s, ChannelOrder o)
        : data(d), width(w), height(h), stride(s), order(o) {}
    // Every writable view can be read.
    ConstImageView(const ImageView& v) // NOLINT(google-explicit-constructor)
        : data(v.data), width(v.width), height(v.height), stride(v.stride), order(v.order) {}

    const std::uint8_t* row(int y) const { return data + static_cast<std::ptrdiff_t>(y) * stride; }
    bool empty() const { return data == nullptr || width <= 0 || height <= 0; }
};

} // namespace vividra::fx
