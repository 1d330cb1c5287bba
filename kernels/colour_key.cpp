#include "kernels/colour_key.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kernels/parallel.h"
#include "kernels/pixel_blend.h"
#include "kernels/pixel_ops.h"

#if VIVIDRA_HAVE_DISPATCH
#include <immintrin.h>
#endif

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

// The hue by the largest channel, then the weight by the distance around the circle.
// Written without branches, yet GCC vectorises it only where it has masked instructions:
// AVX2 gets its own copy of the arithmetic below.
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

struct ScalarWeights {
    template <class Layout>
    VIVIDRA_INLINE static void run(const std::uint8_t* guide, int n, std::uint8_t* weight,
                                   const KeyParams* k) {
        for (int x = 0; x < n; ++x) {
            const std::uint32_t p = detail::loadPixel(guide, x);
            const float v = weightOf(static_cast<float>(detail::channel<Layout::r>(p)),
                                     static_cast<float>(detail::channel<Layout::g>(p)),
                                     static_cast<float>(detail::channel<Layout::b>(p)), k->hue,
                                     k->tolerance, k->inverseFalloff);
            weight[x] = static_cast<std::uint8_t>(v * 255.0f + 0.5f);
        }
    }
};

#if VIVIDRA_HAVE_DISPATCH

// weightOf for eight pixels, step for step the same arithmetic, so that every path keeps
// the same pixels.
struct Avx2Weights {
    template <int Position> VIVIDRA_TARGET_AVX2 VIVIDRA_INLINE static __m256 channel(__m256i p) {
        return _mm256_cvtepi32_ps(
            _mm256_and_si256(_mm256_srli_epi32(p, 8 * Position), _mm256_set1_epi32(0xff)));
    }

    VIVIDRA_TARGET_AVX2 VIVIDRA_INLINE static __m256 ramp(__m256 v, float from, float to) {
        const __m256 t =
            _mm256_min_ps(_mm256_max_ps(_mm256_div_ps(_mm256_sub_ps(v, _mm256_set1_ps(from)),
                                                      _mm256_set1_ps(to - from)),
                                        _mm256_setzero_ps()),
                          _mm256_set1_ps(1.0f));
        return _mm256_mul_ps(
            _mm256_mul_ps(t, t),
            _mm256_sub_ps(_mm256_set1_ps(3.0f), _mm256_mul_ps(_mm256_set1_ps(2.0f), t)));
    }

    template <class Layout>
    VIVIDRA_TARGET_AVX2 VIVIDRA_INLINE static void eight(const std::uint8_t* guide,
                                                         std::uint8_t* weight, const KeyParams* k) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(guide));
        const __m256 r = channel<Layout::r>(p), g = channel<Layout::g>(p),
                     b = channel<Layout::b>(p);
        const __m256 hi = _mm256_max_ps(r, _mm256_max_ps(g, b));
        const __m256 lo = _mm256_min_ps(r, _mm256_min_ps(g, b));
        const __m256 chroma = _mm256_sub_ps(hi, lo);
        const __m256 inv =
            _mm256_div_ps(_mm256_set1_ps(1.0f), _mm256_max_ps(chroma, _mm256_set1_ps(1e-3f)));
        const __m256 byRed = _mm256_mul_ps(_mm256_sub_ps(g, b), inv);
        const __m256 byGreen =
            _mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(b, r), inv), _mm256_set1_ps(2.0f));
        const __m256 byBlue =
            _mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(r, g), inv), _mm256_set1_ps(4.0f));
        __m256 h = _mm256_blendv_ps(byBlue, byGreen, _mm256_cmp_ps(hi, g, _CMP_EQ_OQ));
        h = _mm256_blendv_ps(h, byRed, _mm256_cmp_ps(hi, r, _CMP_EQ_OQ));
        h = _mm256_mul_ps(h, _mm256_set1_ps(60.0f));
        const __m256 full = _mm256_set1_ps(360.0f);
        h = _mm256_blendv_ps(h, _mm256_add_ps(h, full),
                             _mm256_cmp_ps(h, _mm256_setzero_ps(), _CMP_LT_OQ));
        const __m256 d =
            _mm256_andnot_ps(_mm256_set1_ps(-0.0f), _mm256_sub_ps(h, _mm256_set1_ps(k->hue)));
        const __m256 nearest = _mm256_min_ps(d, _mm256_sub_ps(full, d));
        const __m256 beyond = _mm256_mul_ps(_mm256_sub_ps(nearest, _mm256_set1_ps(k->tolerance)),
                                            _mm256_set1_ps(k->inverseFalloff));
        const __m256 near = _mm256_sub_ps(
            _mm256_set1_ps(1.0f),
            _mm256_min_ps(_mm256_max_ps(beyond, _mm256_setzero_ps()), _mm256_set1_ps(1.0f)));
        const __m256 saturation = _mm256_div_ps(chroma, _mm256_max_ps(hi, _mm256_set1_ps(1e-3f)));
        const __m256 v = _mm256_mul_ps(
            _mm256_mul_ps(near, ramp(saturation, kGreyFrom, kGreyTo)),
            ramp(_mm256_mul_ps(hi, _mm256_set1_ps(1.0f / 255.0f)), kDarkFrom, kDarkTo));
        const __m256i bytes = _mm256_cvttps_epi32(
            _mm256_add_ps(_mm256_mul_ps(v, _mm256_set1_ps(255.0f)), _mm256_set1_ps(0.5f)));
        const __m128i words =
            _mm_packus_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(weight), _mm_packus_epi16(words, words));
    }

    template <class Layout>
    VIVIDRA_TARGET_AVX2 static void run(const std::uint8_t* guide, int n, std::uint8_t* weight,
                                        const KeyParams* k) {
        int x = 0;
        for (; x + 8 <= n; x += 8)
            eight<Layout>(guide + 4 * std::ptrdiff_t{x}, weight + x, k);
        if (x == n)
            return;
        // The row's last few pixels through the same arithmetic, from a copy so that nothing
        // past the row is read.
        std::uint8_t rest[32] = {}, restWeight[8];
        std::memcpy(rest, guide + 4 * std::ptrdiff_t{x}, 4 * static_cast<std::size_t>(n - x));
        eight<Layout>(rest, restWeight, k);
        std::memcpy(weight + x, restWeight, static_cast<std::size_t>(n - x));
    }
};

#endif

template <class Layout, class Weights>
VIVIDRA_INLINE void keyRow(const std::uint8_t* guide, const std::uint8_t* reveal,
                           std::uint8_t* target, int w, const KeyParams* k) {
    constexpr int kChunk = 256;
    std::uint8_t weight[kChunk];
    for (int x0 = 0; x0 < w; x0 += kChunk) {
        const int n = std::min(kChunk, w - x0);
        Weights::template run<Layout>(guide + 4 * std::ptrdiff_t{x0}, n, weight, k);
        const std::uint8_t* r = reveal + 4 * std::ptrdiff_t{x0};
        std::uint8_t* t = target + 4 * std::ptrdiff_t{x0};
        // Every pixel blended, none skipped: a blend by 0 or 255 is exact, and without the
        // branches the loop vectorises on paths that have no masked byte stores.
        for (int x = 0; x < n; ++x)
            detail::storePixel(
                t, x, blendPixels(detail::loadPixel(t, x), detail::loadPixel(r, x), weight[x]));
    }
}

#if VIVIDRA_HAVE_DISPATCH
template <class Layout>
VIVIDRA_TARGET_AVX512 void keyRowAvx512(const std::uint8_t* g, const std::uint8_t* r,
                                        std::uint8_t* t, int w, const KeyParams* k) {
    keyRow<Layout, ScalarWeights>(g, r, t, w, k);
}
template <class Layout>
VIVIDRA_TARGET_AVX2 void keyRowAvx2(const std::uint8_t* g, const std::uint8_t* r, std::uint8_t* t,
                                    int w, const KeyParams* k) {
    keyRow<Layout, Avx2Weights>(g, r, t, w, k);
}
#endif
template <class Layout>
void keyRowBase(const std::uint8_t* g, const std::uint8_t* r, std::uint8_t* t, int w,
                const KeyParams* k) {
    keyRow<Layout, ScalarWeights>(g, r, t, w, k);
}

template <class Layout>
void keyRowBest(const std::uint8_t* g, const std::uint8_t* r, std::uint8_t* t, int w,
                const KeyParams* k) {
#if VIVIDRA_HAVE_DISPATCH
    switch (detail::isa()) {
    case detail::Isa::Avx512:
        keyRowAvx512<Layout>(g, r, t, w, k);
        return;
    case detail::Isa::Avx2:
        keyRowAvx2<Layout>(g, r, t, w, k);
        return;
    default:
        break;
    }
#endif
    keyRowBase<Layout>(g, r, t, w, k);
}

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
