#include "effects/kernels/gaussian_blur.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "effects/kernels/parallel.h"
#include "effects/kernels/pixel_ops.h"

// Deriche's fourth-order recursive Gaussian, split into its two damped-cosine
// terms: each is a second-order section, far less sensitive to single-precision
// rounding than the fourth-order recursion when the radius is large. Each term
// runs causally and anticausally on the input and all four outputs add up. A
// section starts from its steady state for a constant signal, which is exactly
// the replicated edge. Rows first into a float buffer (four rows per vector),
// then columns in strips of sixteen pixels, vectorised across the strip.

namespace vividra::fx {

namespace {

using detail::roundByte;

// y[i] = a·x[i] + b·x[i−1] + p·y[i−1] + q·y[i−2] forwards, and
// y[i] = c·x[i+1] + e·x[i+2] + p·y[i+1] + q·y[i+2] backwards.
struct Section {
    float a, b, c, e, p, q;
    float causalGain, anticausalGain; // steady output per unit of constant input
};

struct Coeffs {
    Section s[2];
};

Coeffs derive(double sigma) {
    // Deriche's fit: (α cos ωn + β sin ωn)·e^(−λn) for two (α, β, ω, λ).
    const double alpha[2] = {1.680, -0.6803}, beta[2] = {3.735, -0.2598};
    const double omega[2] = {0.6318, 1.997}, lambda[2] = {1.783, 1.723};
    double raw[2][6], causal[2], anticausal[2], total = 0;
    for (int k = 0; k < 2; ++k) {
        const double r = std::exp(-lambda[k] / sigma), w = omega[k] / sigma;
        const double c = std::cos(w), sn = std::sin(w);
        const double a = alpha[k], b = beta[k] * r * sn - alpha[k] * r * c;
        const double ac = beta[k] * r * sn + alpha[k] * r * c, ae = -alpha[k] * r * r;
        const double p = 2 * r * c, q = -r * r;
        const double denom = 1 - p - q;
        raw[k][0] = a, raw[k][1] = b, raw[k][2] = ac, raw[k][3] = ae, raw[k][4] = p, raw[k][5] = q;
        causal[k] = (a + b) / denom;
        anticausal[k] = (ac + ae) / denom;
        total += causal[k] + anticausal[k];
    }
    Coeffs k{};
    for (int i = 0; i < 2; ++i) {
        Section& s = k.s[i];
        s.a = static_cast<float>(raw[i][0] / total);
        s.b = static_cast<float>(raw[i][1] / total);
        s.c = static_cast<float>(raw[i][2] / total);
        s.e = static_cast<float>(raw[i][3] / total);
        s.p = static_cast<float>(raw[i][4]);
        s.q = static_cast<float>(raw[i][5]);
        s.causalGain = static_cast<float>(causal[i] / total);
        s.anticausalGain = static_cast<float>(anticausal[i] / total);
    }
    return k;
}

typedef float V16 __attribute__((vector_size(64)));
typedef float V8 __attribute__((vector_size(32)));
typedef float V4 __attribute__((vector_size(16)));
typedef std::uint8_t B16 __attribute__((vector_size(16)));
typedef std::uint32_t U4 __attribute__((vector_size(16)));
typedef std::int32_t I16 __attribute__((vector_size(64)));

constexpr int kStripPixels = 16;
constexpr int kStrip = kStripPixels * 4; // floats
constexpr int kPrefetchRows = 12;

// The float buffer is strip-major: all rows of one strip lie together, so the
// column pass streams through memory. `rows` are the four rows' offsets.
VIVIDRA_INLINE float* inBuffer(float* buf, std::ptrdiff_t stripStride, int x) {
    return buf + (x / kStripPixels) * stripStride + (x % kStripPixels) * 4;
}

// Four pixels from four rows side by side in one vector, built and taken apart
// in registers (assembling it in memory would stall on store forwarding).
VIVIDRA_INLINE void loadFour(const float* at, const std::ptrdiff_t* rows, V16& v) {
    V4 p[4];
    for (int r = 0; r < 4; ++r)
        std::memcpy(&p[r], at + rows[r], 16);
    const V8 lo = __builtin_shufflevector(p[0], p[1], 0, 1, 2, 3, 4, 5, 6, 7);
    const V8 hi = __builtin_shufflevector(p[2], p[3], 0, 1, 2, 3, 4, 5, 6, 7);
    v = __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}

VIVIDRA_INLINE void storeFour(float* at, const std::ptrdiff_t* rows, const V16& v) {
    const V4 p[4] = {
        __builtin_shufflevector(v, v, 0, 1, 2, 3), __builtin_shufflevector(v, v, 4, 5, 6, 7),
        __builtin_shufflevector(v, v, 8, 9, 10, 11), __builtin_shufflevector(v, v, 12, 13, 14, 15)};
    for (int r = 0; r < 4; ++r)
        std::memcpy(at + rows[r], &p[r], 16);
}

// Rows y0…y1 of the input into the float buffer, four rows at a time.
template <class Layout>
VIVIDRA_INLINE void blurRows(const ConstImageView& in, float* buf, std::ptrdiff_t stripStride,
                             int y0, int y1, const Coeffs& k, float* __restrict source) {
    const int w = in.width;
    const std::ptrdiff_t sourceRows[4] = {0, 4 * w, 8 * w, 12 * w};
    const Section &s = k.s[0], &t = k.s[1];
    for (int y = y0; y < y1; y += 4) {
        std::ptrdiff_t dst[4];
        for (int r = 0; r < 4; ++r) {
            // A short last group repeats its last row; the copies compute the same values.
            const int yy = std::min(y + r, y1 - 1);
            const std::uint8_t* __restrict bytes = in.row(yy);
            float* __restrict row = source + sourceRows[r];
            for (int i = 0; i < 4 * w; ++i)
                row[i] = bytes[i];
            dst[r] = static_cast<std::ptrdiff_t>(yy) * kStrip;
        }
        V16 x1 = {}, xc = {}, x2 = {}, sum = {};
        loadFour(source, sourceRows, x1);
        V16 s1 = x1 * s.causalGain, s2 = s1, t1 = x1 * t.causalGain, t2 = t1;
        for (int x = 0; x < w; ++x) {
            loadFour(source + 4 * x, sourceRows, xc);
            const V16 sv = s.a * xc + s.b * x1 + s.q * s2 + s.p * s1;
            const V16 tv = t.a * xc + t.b * x1 + t.q * t2 + t.p * t1;
            storeFour(inBuffer(buf, stripStride, x), dst, sv + tv);
            x1 = xc;
            s2 = s1, s1 = sv, t2 = t1, t1 = tv;
        }
        loadFour(source + 4 * (w - 1), sourceRows, x1);
        x2 = x1;
        s1 = s2 = x1 * s.anticausalGain;
        t1 = t2 = x1 * t.anticausalGain;
        for (int x = w - 1; x >= 0; --x) {
            const V16 sv = s.c * x1 + s.e * x2 + s.q * s2 + s.p * s1;
            const V16 tv = t.c * x1 + t.e * x2 + t.q * t2 + t.p * t1;
            float* at = inBuffer(buf, stripStride, x);
            loadFour(at, dst, sum);
            sum += sv + tv;
            storeFour(at, dst, sum);
            loadFour(source + 4 * x, sourceRows, xc);
            x2 = x1, x1 = xc;
            s2 = s1, s1 = sv, t2 = t1, t1 = tv;
        }
    }
}
VIVIDRA_MULTIVERSION(blurRowsBest, blurRows,
                     (const ConstImageView& in, float* buf, std::ptrdiff_t stripStride, int y0,
                      int y1, const Coeffs& k, float* source),
                     (in, buf, stripStride, y0, y1, k, source))

// One strip of columns from the float buffer to the output. `causal` holds a
// strip-wide row per picture row.
template <class Layout>
VIVIDRA_INLINE void blurStrip(const float* buf, std::ptrdiff_t stripStride, int height,
                              int firstPixel, int pixels, const ConstImageView& in,
                              const ImageView& out, float* __restrict causal, const Coeffs& k) {
    const Section &s = k.s[0], &t = k.s[1];
    const float* col = buf + firstPixel / kStripPixels * stripStride;
    auto bufRow = [&](int y) { return col + std::clamp(y, 0, height - 1) * kStrip; };
    // Two rows of history per section, indexed by row parity.
    alignas(64) float hs[2][kStrip], ht[2][kStrip];

    const float* first = bufRow(0);
    for (int j = 0; j < kStrip; ++j) {
        hs[0][j] = hs[1][j] = first[j] * s.causalGain;
        ht[0][j] = ht[1][j] = first[j] * t.causalGain;
    }
    for (int y = 0; y < height; ++y) {
        const float* __restrict xa = bufRow(y);
        const float* __restrict xb = bufRow(y - 1);
        float* __restrict s2 = hs[y & 1]; // row y−2, becomes row y
        const float* __restrict s1 = hs[(y + 1) & 1];
        float* __restrict t2 = ht[y & 1];
        const float* __restrict t1 = ht[(y + 1) & 1];
        float* __restrict o = causal + y * kStrip;
        for (int j = 0; j < kStrip; ++j) {
            const float sv = s.a * xa[j] + s.b * xb[j] + s.q * s2[j] + s.p * s1[j];
            const float tv = t.a * xa[j] + t.b * xb[j] + t.q * t2[j] + t.p * t1[j];
            s2[j] = sv;
            t2[j] = tv;
            o[j] = sv + tv;
        }
    }

    const float* last = bufRow(height - 1);
    for (int j = 0; j < kStrip; ++j) {
        hs[0][j] = hs[1][j] = last[j] * s.anticausalGain;
        ht[0][j] = ht[1][j] = last[j] * t.anticausalGain;
    }
    for (int y = height - 1; y >= 0; --y) {
        const float* __restrict xa = bufRow(y + 1);
        const float* __restrict xb = bufRow(y + 2);
        float* __restrict s2 = hs[y & 1]; // row y+2, becomes row y
        const float* __restrict s1 = hs[(y + 1) & 1];
        float* __restrict t2 = ht[y & 1];
        const float* __restrict t1 = ht[(y + 1) & 1];
        const float* __restrict c = causal + y * kStrip;
        alignas(64) float sum[kStrip];
        for (int j = 0; j < kStrip; ++j) {
            const float sv = s.c * xa[j] + s.e * xb[j] + s.q * s2[j] + s.p * s1[j];
            const float tv = t.c * xa[j] + t.e * xb[j] + t.q * t2[j] + t.p * t1[j];
            s2[j] = sv;
            t2[j] = tv;
            sum[j] = sv + tv + c[j];
        }
        // Rows lie far apart and are visited bottom-up, which hardware
        // prefetchers do not follow; ask for the ones a few steps ahead.
        if (y >= kPrefetchRows) {
            __builtin_prefetch(in.row(y - kPrefetchRows) + 4 * firstPixel);
            __builtin_prefetch(out.row(y - kPrefetchRows) + 4 * firstPixel, 1);
        }
        const std::uint8_t* __restrict a = in.row(y) + 4 * firstPixel;
        std::uint8_t* __restrict d = out.row(y) + 4 * firstPixel;
        if (pixels == kStripPixels) {
            for (int j = 0; j < kStrip; ++j)
                d[j] = (j & 3) == 3 ? a[j] : roundByte(sum[j]);
        } else {
            for (int j = 0; j < 4 * pixels; ++j)
                d[j] = (j & 3) == 3 ? a[j] : roundByte(sum[j]);
        }
    }
}
VIVIDRA_MULTIVERSION(blurStripBest, blurStrip,
                     (const float* buf, std::ptrdiff_t stripStride, int height, int firstPixel,
                      int pixels, const ConstImageView& in, const ImageView& out, float* causal,
                      const Coeffs& k),
                     (buf, stripStride, height, firstPixel, pixels, in, out, causal, k))

} // namespace

void gaussianBlur(const ConstImageView& in, const ImageView& out, double radius) {
    if (!detail::sameSize(in, out))
        return;
    if (!(radius >= 0.5)) {
        detail::copyPixels(in, out);
        return;
    }
    const Coeffs k = derive(radius);
    const int w = in.width, h = in.height;
    const int strips = (w + kStripPixels - 1) / kStripPixels;
    const std::ptrdiff_t stripStride = static_cast<std::ptrdiff_t>(h) * kStrip;
    const std::size_t bufBytes = static_cast<std::size_t>(stripStride) * strips * sizeof(float);
    detail::PixelBuffer buffer(bufBytes);
    float* buf = buffer.as<float>();
    // Columns past the picture in the last strip are computed but never used;
    // zeros keep them from holding NaNs or denormals.
    if (w % kStripPixels != 0)
        std::fill(buf + (strips - 1) * stripStride, buf + strips * stripStride, 0.0f);

    detail::withLayout(in.order, [&](auto layout) {
        using L = decltype(layout);
        parallelRows((h + 3) / 4,
                     [&](int g0, int g1) {
                         std::vector<float> source(static_cast<std::size_t>(w) * 16);
                         blurRowsBest<L>(in, buf, stripStride, 4 * g0, std::min(h, 4 * g1), k,
                                         source.data());
                     },
                     4);
        parallelRows(
            strips,
            [&](int s0, int s1) {
                std::vector<float> causal(static_cast<std::size_t>(h) * kStrip);
                for (int s = s0; s < s1; ++s) {
                    const int first = s * kStripPixels;
                    blurStripBest<L>(buf, stripStride, h, first, std::min(kStripPixels, w - first),
                                     in, out, causal.data(), k);
                }
            },
            4);
    });
    detail::matchOutputOrder(in, out);
}

} // namespace vividra::fx
