#include "kernels/sketch.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "kernels/parallel.h"
#include "kernels/pixel_ops.h"

// The luminance goes into a float plane first. Bilinear sampling with clamped
// edges is separable, so each output row blends the two source rows above and
// below into one row each, copies those rows into buffers padded with their edge
// values, and reads the left and right samples at fixed offsets from there.

namespace vividra::fx {

namespace {

// Sampling at a fixed offset from every pixel: whole pixels plus a fraction.
struct Offset {
    int whole;
    float frac;
};

Offset offsetOf(double o) {
    const double f = std::floor(o);
    return {static_cast<int>(f), static_cast<float>(o - f)};
}

template <class Layout>
VIVIDRA_INLINE void lumaRows(const ConstImageView& in, float* plane, int y0, int y1) {
    constexpr float wr = 0.2125f / 255.0f, wg = 0.7154f / 255.0f, wb = 0.0721f / 255.0f;
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* __restrict s = in.row(y);
        float* __restrict l = plane + static_cast<std::ptrdiff_t>(y) * in.width;
        for (int x = 0; x < in.width; ++x) {
            const std::uint32_t p = detail::loadPixel(s, x);
            l[x] = wr * static_cast<float>(detail::channel<Layout::r>(p)) +
                   wg * static_cast<float>(detail::channel<Layout::g>(p)) +
                   wb * static_cast<float>(detail::channel<Layout::b>(p));
        }
    }
}
VIVIDRA_MULTIVERSION(lumaRowsBest, lumaRows,
                     (const ConstImageView& in, float* plane, int y0, int y1), (in, plane, y0, y1))

// Row `y` of the plane sampled `o` rows away, into the middle of a padded row.
VIVIDRA_INLINE void blendRows(const float* plane, int w, int h, int y, Offset o, float* dst,
                              int pad) {
    const std::ptrdiff_t from = std::ptrdiff_t{y} + o.whole, last = h - 1;
    const float* a = plane + std::clamp<std::ptrdiff_t>(from, 0, last) * w;
    const float* b = plane + std::clamp<std::ptrdiff_t>(from + 1, 0, last) * w;
    const float f = o.frac, g = 1.0f - o.frac;
    float* __restrict d = dst + pad;
    for (int x = 0; x < w; ++x)
        d[x] = g * a[x] + f * b[x];
    std::fill(dst, d, d[0]);
    float* end = d + w;
    std::fill(end, end + pad, d[w - 1]);
}

template <class Layout>
VIVIDRA_INLINE void sketchRow(const float* __restrict top, const float* __restrict mid,
                              const float* __restrict bot, int pad, Offset left, Offset right,
                              float strength, std::uint8_t* __restrict out, int w) {
    const float lg = 1.0f - left.frac, lf = left.frac, rg = 1.0f - right.frac, rf = right.frac;
    // Reaches of up to a width each side of a padded row exceed int on very wide pictures.
    const std::ptrdiff_t c0 = pad, l0 = c0 + left.whole, r0 = c0 + right.whole;
    for (int x = 0; x < w; ++x) {
        const float tl = lg * top[l0 + x] + lf * top[l0 + x + 1];
        const float tr = rg * top[r0 + x] + rf * top[r0 + x + 1];
        const float bl = lg * bot[l0 + x] + lf * bot[l0 + x + 1];
        const float br = rg * bot[r0 + x] + rf * bot[r0 + x + 1];
        const float ml = lg * mid[l0 + x] + lf * mid[l0 + x + 1];
        const float mr = rg * mid[r0 + x] + rf * mid[r0 + x + 1];
        const float t = top[c0 + x], b = bot[c0 + x];
        const float hv = (bl + 2.0f * b + br) - (tl + 2.0f * t + tr);
        const float vv = (tr + 2.0f * mr + br) - (tl + 2.0f * ml + bl);
        const std::uint8_t grey =
            detail::roundByte((1.0f - strength * std::sqrt(hv * hv + vv * vv)) * 255.0f);
        detail::storePixel(out, x, 0xff000000u | grey * 0x010101u);
    }
}
VIVIDRA_MULTIVERSION(sketchRowBest, sketchRow,
                     (const float* top, const float* mid, const float* bot, int pad, Offset left,
                      Offset right, float strength, std::uint8_t* out, int w),
                     (top, mid, bot, pad, left, right, strength, out, w))

} // namespace

bool sketch(const ConstImageView& in, const ImageView& out, double texel, double edgeStrength) {
    if (!detail::sameSize(in, out))
        return false;
    const int w = in.width, h = in.height;
    detail::PixelBuffer planeMemory(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) *
                                    sizeof(float));
    if (!planeMemory)
        return false;
    float* plane = planeMemory.as<float>();
    // Samples sit texel·size pixels from the centre, as texture coordinates would.
    // Offsets beyond the picture only ever reach the clamped edge.
    const double dx = std::min(std::abs(texel) * w, static_cast<double>(w));
    const double dy = std::min(std::abs(texel) * h, static_cast<double>(h));
    const Offset left = offsetOf(-dx), right = offsetOf(dx), up = offsetOf(-dy),
                 down = offsetOf(dy);
    const int pad = static_cast<int>(std::ceil(dx)) + 2;
    const float strength = static_cast<float>(edgeStrength);

    std::atomic<bool> failed{false};
    const bool done = detail::withLayout(in.order, [&](auto layout) {
        using L = decltype(layout);
        if (!parallelRows(h, [&](int y0, int y1) { lumaRowsBest<L>(in, plane, y0, y1); }))
            return false;
        return parallelRows(h, [&](int y0, int y1) {
            const std::size_t len = static_cast<std::size_t>(w) + 2 * static_cast<std::size_t>(pad);
            detail::PixelBuffer rows(3 * len * sizeof(float));
            if (!rows) {
                failed = true;
                return;
            }
            float* top = rows.as<float>();
            float* mid = top + len;
            float* bot = mid + len;
            for (int y = y0; y < y1; ++y) {
                blendRows(plane, w, h, y, up, top, pad);
                blendRows(plane, w, h, y, {0, 0.0f}, mid, pad);
                blendRows(plane, w, h, y, down, bot, pad);
                sketchRowBest<L>(top, mid, bot, pad, left, right, strength, out.row(y), w);
            }
        });
    });
    return done && !failed;
}

} // namespace vividra::fx
