#include "kernels/colour_transform.h"

#include <cmath>
#include <cstring>

#include "kernels/parallel.h"
#include "kernels/pixel_ops.h"

#if VIVIDRA_HAVE_DISPATCH
// GCC 12's AVX-512 intrinsics start from a self-initialised "undefined" vector that its
// own flow analysis then flags (fixed in GCC 13); clang has no such warning.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace vividra::fx {

namespace {

using detail::channel;
using detail::loadPixel;
using detail::storePixel;

constexpr float kLastEntry = kEncodeEntries - 1;
// The vector paths take square roots as v·(1/√v) from the quick estimate, a small fraction
// of an entry out, and this floor keeps black away from 0·∞.
constexpr float kTiny = 1e-20f;

// round(v·a / 255) for v, a in 0…255, exactly.
VIVIDRA_INLINE std::uint32_t premultiply(std::uint32_t v, std::uint32_t a) {
    const std::uint32_t t = v * a + 128;
    return (t + (t >> 8)) >> 8;
}

// The whole code nearest to c·255 / a, at most 255: what the premultiplied colour
// stood for before alpha was applied.
VIVIDRA_INLINE std::uint32_t unpremultiply(std::uint32_t c, std::uint32_t a) {
    const std::uint32_t v = (c * 255 + a / 2) / a;
    return v < 255 ? v : 255;
}

template <class Layout>
VIVIDRA_INLINE std::uint32_t convertPixel(std::uint32_t p, const CurveTransform& t) {
    const std::uint32_t a = p >> 24;
    if (a == 0)
        return 0;
    std::uint32_t code[3] = {channel<Layout::r>(p), channel<Layout::g>(p), channel<Layout::b>(p)};
    if (a != 255)
        for (std::uint32_t& c : code)
            c = unpremultiply(c, a);
    const float r = t.decode[0][code[0]], g = t.decode[1][code[1]], b = t.decode[2][code[2]];
    constexpr int shift[3] = {8 * Layout::r, 8 * Layout::g, 8 * Layout::b};
    std::uint32_t out = p & 0xff000000u;
    for (int k = 0; k < 3; ++k) {
        float v = t.matrix[k][0] * r + t.matrix[k][1] * g + t.matrix[k][2] * b;
        v = v > 0.0f ? v : 0.0f;
        v = v < 1.0f ? v : 1.0f;
        std::uint32_t e = t.encode[k][static_cast<int>(std::sqrt(v) * kLastEntry + 0.5f)];
        if (a != 255)
            e = premultiply(e, a);
        out |= e << shift[k];
    }
    return out;
}

template <class Layout> void rowBase(std::uint8_t* row, int width, const CurveTransform& t) {
    for (int x = 0; x < width; ++x)
        storePixel(row, x, convertPixel<Layout>(loadPixel(row, x), t));
}

#if VIVIDRA_HAVE_DISPATCH

template <class Layout>
VIVIDRA_TARGET_AVX2 VIVIDRA_INLINE __m256i convertAvx2(__m256i px, const CurveTransform& t) {
    const __m256i byte = _mm256_set1_epi32(0xff);
    const __m256i alpha = _mm256_srli_epi32(px, 24);
    __m256i code[3] = {_mm256_and_si256(_mm256_srli_epi32(px, 8 * Layout::r), byte),
                       _mm256_and_si256(_mm256_srli_epi32(px, 8 * Layout::g), byte),
                       _mm256_and_si256(_mm256_srli_epi32(px, 8 * Layout::b), byte)};
    // Photos are opaque nearly everywhere: the alpha arithmetic runs only where needed.
    const bool opaque = _mm256_movemask_epi8(_mm256_cmpeq_epi32(alpha, byte)) == -1;
    if (!opaque) {
        const __m256 a = _mm256_cvtepi32_ps(_mm256_max_epi32(alpha, _mm256_set1_epi32(1)));
        for (__m256i& c : code) {
            const __m256 full = _mm256_mul_ps(_mm256_cvtepi32_ps(c), _mm256_set1_ps(255.0f));
            const __m256 v = _mm256_add_ps(_mm256_div_ps(full, a), _mm256_set1_ps(0.5f));
            c = _mm256_min_epi32(_mm256_cvttps_epi32(v), byte);
        }
    }
    __m256 lin[3];
    for (int c = 0; c < 3; ++c)
        lin[c] = _mm256_i32gather_ps(t.decode[c], code[c], 4);
    constexpr int shift[3] = {8 * Layout::r, 8 * Layout::g, 8 * Layout::b};
    __m256i out = _mm256_andnot_si256(_mm256_set1_epi32(0x00ffffff), px);
    for (int k = 0; k < 3; ++k) {
        __m256 v = _mm256_mul_ps(lin[0], _mm256_set1_ps(t.matrix[k][0]));
        v = _mm256_fmadd_ps(lin[1], _mm256_set1_ps(t.matrix[k][1]), v);
        v = _mm256_fmadd_ps(lin[2], _mm256_set1_ps(t.matrix[k][2]), v);
        v = _mm256_min_ps(_mm256_max_ps(v, _mm256_set1_ps(kTiny)), _mm256_set1_ps(1.0f));
        const __m256 root = _mm256_mul_ps(v, _mm256_rsqrt_ps(v));
        const __m256i index = _mm256_cvttps_epi32(
            _mm256_fmadd_ps(root, _mm256_set1_ps(kLastEntry), _mm256_set1_ps(0.5f)));
        __m256i e = _mm256_and_si256(
            _mm256_i32gather_epi32(reinterpret_cast<const int*>(t.encode[k]), index, 1), byte);
        if (!opaque) {
            const __m256i p =
                _mm256_add_epi32(_mm256_mullo_epi32(e, alpha), _mm256_set1_epi32(128));
            e = _mm256_srli_epi32(_mm256_add_epi32(p, _mm256_srli_epi32(p, 8)), 8);
        }
        out = _mm256_or_si256(out, _mm256_slli_epi32(e, shift[k]));
    }
    return out;
}

template <class Layout>
VIVIDRA_TARGET_AVX2 void rowAvx2(std::uint8_t* row, int width, const CurveTransform& t) {
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        auto* at = reinterpret_cast<__m256i*>(row + 4 * std::ptrdiff_t{x});
        _mm256_storeu_si256(at, convertAvx2<Layout>(_mm256_loadu_si256(at), t));
    }
    if (x < width) {
        // The last few pixels go through a full vector of scratch.
        alignas(32) std::uint8_t tail[32] = {};
        const std::size_t bytes = 4 * static_cast<std::size_t>(width - x);
        std::memcpy(tail, row + 4 * std::ptrdiff_t{x}, bytes);
        auto* at = reinterpret_cast<__m256i*>(tail);
        _mm256_store_si256(at, convertAvx2<Layout>(_mm256_load_si256(at), t));
        std::memcpy(row + 4 * std::ptrdiff_t{x}, tail, bytes);
    }
}

// A 256-entry table looked up by permutes rather than a gather, which costs more here:
// each pair of registers answers for 32 entries, and the index's top three bits choose.
VIVIDRA_TARGET_AVX512 VIVIDRA_INLINE __m512 lookup256(const float* table, __m512i index) {
    __m512 part[8];
    for (int i = 0; i < 8; ++i)
        part[i] = _mm512_permutex2var_ps(_mm512_load_ps(table + 32 * i), index,
                                         _mm512_load_ps(table + 32 * i + 16));
    for (int bit = 32, n = 8; n > 1; bit *= 2, n /= 2) {
        const __mmask16 high = _mm512_test_epi32_mask(index, _mm512_set1_epi32(bit));
        for (int i = 0; i < n / 2; ++i)
            part[i] = _mm512_mask_blend_ps(high, part[2 * i], part[2 * i + 1]);
    }
    return part[0];
}

template <class Layout>
VIVIDRA_TARGET_AVX512 VIVIDRA_INLINE __m512i convertAvx512(__m512i px, const CurveTransform& t) {
    const __m512i byte = _mm512_set1_epi32(0xff);
    const __m512i alpha = _mm512_srli_epi32(px, 24);
    __m512i code[3] = {_mm512_and_si512(_mm512_srli_epi32(px, 8 * Layout::r), byte),
                       _mm512_and_si512(_mm512_srli_epi32(px, 8 * Layout::g), byte),
                       _mm512_and_si512(_mm512_srli_epi32(px, 8 * Layout::b), byte)};
    const bool opaque = _mm512_cmpeq_epi32_mask(alpha, byte) == 0xffff;
    if (!opaque) {
        const __m512 a = _mm512_cvtepi32_ps(_mm512_max_epi32(alpha, _mm512_set1_epi32(1)));
        for (__m512i& c : code) {
            const __m512 full = _mm512_mul_ps(_mm512_cvtepi32_ps(c), _mm512_set1_ps(255.0f));
            const __m512 v = _mm512_add_ps(_mm512_div_ps(full, a), _mm512_set1_ps(0.5f));
            c = _mm512_min_epi32(_mm512_cvttps_epi32(v), byte);
        }
    }
    __m512 lin[3];
    for (int c = 0; c < 3; ++c)
        lin[c] = lookup256(t.decode[c], code[c]);
    constexpr int shift[3] = {8 * Layout::r, 8 * Layout::g, 8 * Layout::b};
    __m512i out = _mm512_andnot_si512(_mm512_set1_epi32(0x00ffffff), px);
    for (int k = 0; k < 3; ++k) {
        __m512 v = _mm512_mul_ps(lin[0], _mm512_set1_ps(t.matrix[k][0]));
        v = _mm512_fmadd_ps(lin[1], _mm512_set1_ps(t.matrix[k][1]), v);
        v = _mm512_fmadd_ps(lin[2], _mm512_set1_ps(t.matrix[k][2]), v);
        v = _mm512_min_ps(_mm512_max_ps(v, _mm512_set1_ps(kTiny)), _mm512_set1_ps(1.0f));
        const __m512 root = _mm512_mul_ps(v, _mm512_rsqrt14_ps(v));
        const __m512i index = _mm512_cvttps_epi32(
            _mm512_fmadd_ps(root, _mm512_set1_ps(kLastEntry), _mm512_set1_ps(0.5f)));
        __m512i e = _mm512_and_si512(_mm512_i32gather_epi32(index, t.encode[k], 1), byte);
        if (!opaque) {
            const __m512i p =
                _mm512_add_epi32(_mm512_mullo_epi32(e, alpha), _mm512_set1_epi32(128));
            e = _mm512_srli_epi32(_mm512_add_epi32(p, _mm512_srli_epi32(p, 8)), 8);
        }
        out = _mm512_or_si512(out, _mm512_slli_epi32(e, shift[k]));
    }
    return out;
}

template <class Layout>
VIVIDRA_TARGET_AVX512 void rowAvx512(std::uint8_t* row, int width, const CurveTransform& t) {
    for (int x = 0; x < width; x += 16) {
        const int n = width - x < 16 ? width - x : 16;
        const __mmask16 live = static_cast<__mmask16>((1u << n) - 1);
        std::uint8_t* at = row + 4 * std::ptrdiff_t{x};
        // Lanes past the row's end load as zero: transparent black, converted harmlessly.
        const __m512i px = _mm512_maskz_loadu_epi32(live, at);
        _mm512_mask_storeu_epi32(at, live, convertAvx512<Layout>(px, t));
    }
}

#endif

template <class Layout> void convertRow(std::uint8_t* row, int width, const CurveTransform& t) {
#if VIVIDRA_HAVE_DISPATCH
    switch (detail::isa()) {
    case detail::Isa::Avx512:
        rowAvx512<Layout>(row, width, t);
        return;
    case detail::Isa::Avx2:
        rowAvx2<Layout>(row, width, t);
        return;
    default:
        break;
    }
#endif
    rowBase<Layout>(row, width, t);
}

} // namespace

bool transformColours(const ImageView& pixels, const CurveTransform& transform) {
    if (pixels.empty())
        return true;
    return detail::withLayout(pixels.order, [&](auto layout) {
        using L = decltype(layout);
        return parallelRows(pixels.height, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y)
                convertRow<L>(pixels.row(y), pixels.width, transform);
        });
    });
}

} // namespace vividra::fx
