#include "effects/kernels/gaussian_blur.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "effects/kernels/parallel.h"
#include "effects/kernels/pixel_ops.h"

// Deriche's fourth-order recursive Gaussian in its parallel form: a causal and
// an anticausal filter both run on the input and their outputs add up. Each
// starts from its steady state for a constant signal, which is exactly the
// replicated edge. Rows first into a float buffer (four rows per vector), then
// columns in strips of sixteen pixels, vectorised across the strip.

namespace vividra::fx {

namespace {

using detail::roundByte;

struct Coeffs {
    float n[4];       // causal: x[i], x[i−1], x[i−2], x[i−3]
    float m[4];       // anticausal: x[i+1] … x[i+4]
    float d[4];       // feedback on the previous four outputs
    float causalGain; // steady-state output per unit of constant input
    float anticausalGain;
};

Coeffs derive(double sigma) {
    const double a0 = 1.680, a1 = 3.735, b0 = 1.783, b1 = 1.723;
    const double w0 = 0.6318, w1 = 1.997, c0 = -0.6803, c1 = -0.2598;
    const double cw0 = std::cos(w0 / sigma), sw0 = std::sin(w0 / sigma);
    const double cw1 = std::cos(w1 / sigma), sw1 = std::sin(w1 / sigma);
    const double e0 = std::exp(-b0 / sigma), e1 = std::exp(-b1 / sigma);
    double n[4], d[4], m[4];
    n[0] = a0 + c0;
    n[1] = e1 * (c1 * sw1 - (c0 + 2 * a0) * cw1) + e0 * (a1 * sw0 - (2 * c0 + a0) * cw0);
    n[2] = 2 * e0 * e1 * ((a0 + c0) * cw1 * cw0 - a1 * cw1 * sw0 - c1 * cw0 * sw1) + c0 * e0 * e0 +
           a0 * e1 * e1;
    n[3] = e1 * e0 * e0 * (c1 * sw1 - c0 * cw1) + e0 * e1 * e1 * (a1 * sw0 - a0 * cw0);
    d[0] = -2 * e1 * cw1 - 2 * e0 * cw0;
    d[1] = 4 * cw1 * cw0 * e0 * e1 + e1 * e1 + e0 * e0;
    d[2] = -2 * cw0 * e0 * e1 * e1 - 2 * cw1 * e1 * e0 * e0;
    d[3] = e0 * e0 * e1 * e1;
    for (int i = 0; i < 3; ++i)
        m[i] = n[i + 1] - d[i] * n[0];
    m[3] = -d[3] * n[0];
    const double sumD = 1 + d[0] + d[1] + d[2] + d[3];
    const double sumN = n[0] + n[1] + n[2] + n[3], sumM = m[0] + m[1] + m[2] + m[3];
    const double scale = sumD / (sumN + sumM); // unit gain overall
    Coeffs k{};
    for (int i = 0; i < 4; ++i) {
        k.n[i] = static_cast<float>(n[i] * scale);
        k.m[i] = static_cast<float>(m[i] * scale);
        k.d[i] = static_cast<float>(d[i]);
    }
    k.causalGain = static_cast<float>(sumN * scale / sumD);
    k.anticausalGain = static_cast<float>(sumM * scale / sumD);
    return k;
}

typedef float V16 __attribute__((vector_size(64)));
typedef std::uint8_t B16 __attribute__((vector_size(16)));

constexpr int kStripPixels = 16;
constexpr int kStrip = kStripPixels * 4; // floats

VIVIDRA_INLINE void loadFour(const std::uint8_t* const* rows, int x, V16& v) {
    B16 b;
    for (int r = 0; r < 4; ++r)
        std::memcpy(reinterpret_cast<std::uint8_t*>(&b) + 4 * r, rows[r] + 4 * x, 4);
    v = __builtin_convertvector(b, V16);
}

VIVIDRA_INLINE void loadFour(float* const* rows, int x, V16& v) {
    for (int r = 0; r < 4; ++r)
        std::memcpy(reinterpret_cast<float*>(&v) + 4 * r, rows[r] + 4 * x, 16);
}

VIVIDRA_INLINE void storeFour(float* const* rows, int x, const V16& v) {
    for (int r = 0; r < 4; ++r)
        std::memcpy(rows[r] + 4 * x, reinterpret_cast<const float*>(&v) + 4 * r, 16);
}

// Rows y0…y1 of the input into the float buffer, four rows at a time.
template <class Layout>
VIVIDRA_INLINE void blurRows(const ConstImageView& in, float* buf, std::ptrdiff_t bufStride, int y0,
                             int y1, const Coeffs& k) {
    const int w = in.width;
    const float n0 = k.n[0], n1 = k.n[1], n2 = k.n[2], n3 = k.n[3];
    const float m0 = k.m[0], m1 = k.m[1], m2 = k.m[2], m3 = k.m[3];
    const float d0 = k.d[0], d1 = k.d[1], d2 = k.d[2], d3 = k.d[3];
    for (int y = y0; y < y1; y += 4) {
        const std::uint8_t* src[4];
        float* dst[4];
        for (int r = 0; r < 4; ++r) {
            // A short last group repeats its last row; the copies compute the same values.
            const int yy = std::min(y + r, y1 - 1);
            src[r] = in.row(yy);
            dst[r] = buf + yy * bufStride;
        }
        V16 x1 = {}, x2, x3, y1v, y2v, y3v, y4v, xc = {}, yc;
        loadFour(src, 0, x1);
        x2 = x3 = x1;
        y1v = y2v = y3v = y4v = x1 * k.causalGain;
        for (int x = 0; x < w; ++x) {
            loadFour(src, x, xc);
            yc =
                (n1 * x1 + n2 * x2 + n3 * x3 - d3 * y4v - d2 * y3v - d1 * y2v) + n0 * xc - d0 * y1v;
            storeFour(dst, x, yc);
            x3 = x2, x2 = x1, x1 = xc;
            y4v = y3v, y3v = y2v, y2v = y1v, y1v = yc;
        }
        V16 x4 = {}, sum = {};
        loadFour(src, w - 1, x1);
        x2 = x3 = x4 = x1;
        y1v = y2v = y3v = y4v = x1 * k.anticausalGain;
        for (int x = w - 1; x >= 0; --x) {
            yc =
                (m1 * x2 + m2 * x3 + m3 * x4 - d3 * y4v - d2 * y3v - d1 * y2v) + m0 * x1 - d0 * y1v;
            loadFour(dst, x, sum);
            sum += yc;
            storeFour(dst, x, sum);
            loadFour(src, x, xc);
            x4 = x3, x3 = x2, x2 = x1, x1 = xc;
            y4v = y3v, y3v = y2v, y2v = y1v, y1v = yc;
        }
    }
}
VIVIDRA_MULTIVERSION(blurRowsBest, blurRows,
                     (const ConstImageView& in, float* buf, std::ptrdiff_t bufStride, int y0,
                      int y1, const Coeffs& k),
                     (in, buf, bufStride, y0, y1, k))

// One strip of columns from the float buffer to the output. `causal` holds a
// strip-wide row per picture row.
template <class Layout>
VIVIDRA_INLINE void blurStrip(const float* buf, std::ptrdiff_t bufStride, int height,
                              int firstPixel, int pixels, const ConstImageView& in,
                              const ImageView& out, float* __restrict causal, const Coeffs& k) {
    const float n0 = k.n[0], n1 = k.n[1], n2 = k.n[2], n3 = k.n[3];
    const float m0 = k.m[0], m1 = k.m[1], m2 = k.m[2], m3 = k.m[3];
    const float d0 = k.d[0], d1 = k.d[1], d2 = k.d[2], d3 = k.d[3];
    const float* col = buf + 4 * firstPixel;
    auto bufRow = [&](int y) { return col + std::clamp(y, 0, height - 1) * bufStride; };
    alignas(64) float edge[kStrip], ring[4][kStrip];

    for (int j = 0; j < kStrip; ++j)
        edge[j] = col[j] * k.causalGain;
    for (int y = 0; y < height; ++y) {
        const float* __restrict xa = bufRow(y);
        const float* __restrict xb = bufRow(y - 1);
        const float* __restrict xc = bufRow(y - 2);
        const float* __restrict xd = bufRow(y - 3);
        const float* __restrict ya = y >= 1 ? causal + (y - 1) * kStrip : edge;
        const float* __restrict yb = y >= 2 ? causal + (y - 2) * kStrip : edge;
        const float* __restrict yc = y >= 3 ? causal + (y - 3) * kStrip : edge;
        const float* __restrict yd = y >= 4 ? causal + (y - 4) * kStrip : edge;
        float* __restrict o = causal + y * kStrip;
        for (int j = 0; j < kStrip; ++j)
            o[j] = (n1 * xb[j] + n2 * xc[j] + n3 * xd[j] - d3 * yd[j] - d2 * yc[j] - d1 * yb[j]) +
                   n0 * xa[j] - d0 * ya[j];
    }

    const float* last = bufRow(height - 1);
    for (int j = 0; j < kStrip; ++j)
        edge[j] = last[j] * k.anticausalGain;
    for (int r = 0; r < 4; ++r)
        std::memcpy(ring[r], edge, sizeof edge);
    for (int y = height - 1; y >= 0; --y) {
        const float* __restrict xa = bufRow(y + 1);
        const float* __restrict xb = bufRow(y + 2);
        const float* __restrict xc = bufRow(y + 3);
        const float* __restrict xd = bufRow(y + 4);
        // ring[(y+i) & 3] holds the anticausal output of row y+i.
        float* __restrict ya = ring[(y + 1) & 3];
        const float* __restrict yb = ring[(y + 2) & 3];
        const float* __restrict yc = ring[(y + 3) & 3];
        float* __restrict now = ring[y & 3]; // was row y+4
        const float* __restrict c = causal + y * kStrip;
        alignas(64) float sum[kStrip];
        for (int j = 0; j < kStrip; ++j) {
            const float v =
                (m1 * xb[j] + m2 * xc[j] + m3 * xd[j] - d3 * now[j] - d2 * yc[j] - d1 * yb[j]) +
                m0 * xa[j] - d0 * ya[j];
            now[j] = v;
            sum[j] = v + c[j];
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
                     (const float* buf, std::ptrdiff_t bufStride, int height, int firstPixel,
                      int pixels, const ConstImageView& in, const ImageView& out, float* causal,
                      const Coeffs& k),
                     (buf, bufStride, height, firstPixel, pixels, in, out, causal, k))

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
    // Padded to whole strips; the padding is zeroed so it never holds NaNs.
    const std::ptrdiff_t bufStride = static_cast<std::ptrdiff_t>(strips) * kStrip;
    const std::size_t bufBytes = static_cast<std::size_t>(bufStride) * h * sizeof(float);
    detail::PixelBuffer buffer(bufBytes);
    float* buf = buffer.as<float>();

    detail::withLayout(in.order, [&](auto layout) {
        using L = decltype(layout);
        parallelRows((h + 3) / 4,
                     [&](int g0, int g1) {
                         const int y0 = 4 * g0, y1 = std::min(h, 4 * g1);
                         blurRowsBest<L>(in, buf, bufStride, y0, y1, k);
                         for (int y = y0; y < y1; ++y)
                             std::fill(buf + y * bufStride + 4 * w, buf + (y + 1) * bufStride,
                                       0.0f);
                     },
                     4);
        parallelRows(
            strips,
            [&](int s0, int s1) {
                std::vector<float> causal(static_cast<std::size_t>(h) * kStrip);
                for (int s = s0; s < s1; ++s) {
                    const int first = s * kStripPixels;
                    blurStripBest<L>(buf, bufStride, h, first, std::min(kStripPixels, w - first),
                                     in, out, causal.data(), k);
                }
            },
            4);
    });
    detail::matchOutputOrder(in, out);
}

} // namespace vividra::fx
