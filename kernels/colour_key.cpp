#include "kernels/colour_key.h"

#include <algorithm>
#include <cmath>

#include "kernels/parallel.h"
#include "kernels/pixel_blend.h"
#include "kernels/pixel_ops.h"

namespace vividra::fx {

namespace {

// Saturation and brightness below which a colour is grey or black to the eye; the
// weight rises smoothly from the first value to the second so that no hard edge shows.
constexpr float kGreyFrom = 0.10f, kGreyTo = 0.22f;
constexpr float kDarkFrom = 0.08f, kDarkTo = 0.18f;

VIVIDRA_INLINE float ramp(float v, float from, float to) {
    const float t = std::clamp((v - from) / (to - from), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// Branch-free, so the row loop vectorises: the hue by the largest channel, then the
// weight by the distance around the circle.
VIVIDRA_INLINE float weightOf(float r, float g, float b, float hue, float tolerance,
                              float inverseFalloff) {
    const float hi = std::max(r, std::max(g, b)), lo = std::min(r, std::min(g, b));
    const float chroma = hi - lo;
    const float inv = 1.0f / std::max(chroma, 1e-3f);
    float h = hi == r ? (g - b) * inv : hi == g ? (b - r) * inv + 2.0f : (r - g) * inv + 4.0f;
    h *= 60.0f;
    h = h < 0.0f ? h + 360.0f : h;
    float d = std::abs(h - hue);
    d = std::min(d, 360.0f - d);
    const float near = 1.0f - std::clamp((d - tolerance) * inverseFalloff, 0.0f, 1.0f);
    const float saturation = chroma / std::max(hi, 1e-3f);
    return near * ramp(saturation, kGreyFrom, kGreyTo) *
           ramp(hi * (1.0f / 255.0f), kDarkFrom, kDarkTo);
}

struct KeyParams {
    float hue, tolerance, inverseFalloff;
};

KeyParams paramsOf(const HueKey& key) {
    float hue = std::fmod(key.hue, 360.0f);
    if (hue < 0.0f)
        hue += 360.0f;
    // No falloff is a hard edge, kept from dividing by zero.
    return {hue, std::max(0.0f, key.tolerance), 1.0f / std::max(key.falloff, 0.01f)};
}

template <class Layout>
VIVIDRA_INLINE void keyRow(const std::uint8_t* guide, const std::uint8_t* reveal,
                           std::uint8_t* target, int w, const KeyParams* k) {
    constexpr int kChunk = 256;
    std::uint8_t weight[kChunk];
    for (int x0 = 0; x0 < w; x0 += kChunk) {
        const int n = std::min(kChunk, w - x0);
        const std::uint8_t* g = guide + 4 * std::ptrdiff_t{x0};
        for (int x = 0; x < n; ++x) {
            const std::uint32_t p = detail::loadPixel(g, x);
            const float v = weightOf(static_cast<float>(detail::channel<Layout::r>(p)),
                                     static_cast<float>(detail::channel<Layout::g>(p)),
                                     static_cast<float>(detail::channel<Layout::b>(p)), k->hue,
                                     k->tolerance, k->inverseFalloff);
            weight[x] = static_cast<std::uint8_t>(v * 255.0f + 0.5f);
        }
        const std::uint8_t* r = reveal + 4 * std::ptrdiff_t{x0};
        std::uint8_t* t = target + 4 * std::ptrdiff_t{x0};
        // Every pixel blended, none skipped: a blend by 0 or 255 is exact, and without the
        // branches the loop vectorises on paths that have no masked byte stores.
        for (int x = 0; x < n; ++x)
            detail::storePixel(
                t, x, blendPixels(detail::loadPixel(t, x), detail::loadPixel(r, x), weight[x]));
    }
}
VIVIDRA_MULTIVERSION(keyRowBest, keyRow,
                     (const std::uint8_t* g, const std::uint8_t* r, std::uint8_t* t, int w,
                      const KeyParams* k),
                     (g, r, t, w, k))

} // namespace

std::optional<float> keyableHue(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const float hi = std::max({r, g, b}), lo = std::min({r, g, b});
    // Where the weight would be below half for any hue, there is nothing to pick.
    const float saturation = hi > 0 ? (hi - lo) / hi : 0.0f;
    if (ramp(saturation, kGreyFrom, kGreyTo) * ramp(hi / 255.0f, kDarkFrom, kDarkTo) < 0.5f)
        return std::nullopt;
    const float chroma = hi - lo;
    float h = hi == r   ? (static_cast<float>(g) - b) / chroma
              : hi == g ? (static_cast<float>(b) - r) / chroma + 2.0f
                        : (static_cast<float>(r) - g) / chroma + 4.0f;
    h *= 60.0f;
    if (h < 0.0f)
        h += 360.0f;
    return h >= 360.0f ? 0.0f : h;
}

bool revealByHue(const ConstImageView& guide, const ConstImageView& reveal, const ImageView& target,
                 const HueKey& key) {
    if (!detail::sameSize(guide, target) || !detail::sameSize(reveal, target) ||
        reveal.order != target.order)
        return false;
    const KeyParams k = paramsOf(key);
    // The guide's order says where its red is; the blend itself does not care.
    return detail::withLayout(guide.order, [&](auto layout) {
        using L = decltype(layout);
        return parallelRows(target.height, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y)
                keyRowBest<L>(guide.row(y), reveal.row(y), target.row(y), target.width, &k);
        });
    });
}

std::uint8_t colourLikeness(std::uint32_t a, std::uint32_t b) {
    // Distance in 8-bit RGB, green counting most as the eye does; alike up to `kSame`,
    // different from `kEdge` on.
    constexpr int kSame = 28, kEdge = 64;
    const int dr = static_cast<int>((a >> 16) & 0xff) - static_cast<int>((b >> 16) & 0xff);
    const int dg = static_cast<int>((a >> 8) & 0xff) - static_cast<int>((b >> 8) & 0xff);
    const int db = static_cast<int>(a & 0xff) - static_cast<int>(b & 0xff);
    const int d2 = (3 * dr * dr + 4 * dg * dg + 2 * db * db) / 3;
    if (d2 <= kSame * kSame)
        return 255;
    if (d2 >= kEdge * kEdge)
        return 0;
    const float d = std::sqrt(static_cast<float>(d2));
    return static_cast<std::uint8_t>(255.0f * (kEdge - d) / (kEdge - kSame) + 0.5f);
}

} // namespace vividra::fx
