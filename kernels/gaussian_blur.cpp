#include "kernels/gaussian_blur.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "kernels/parallel.h"
#include "kernels/pixel_ops.h"

// Deriche's fourth-order recursive Gaussian, split into its two damped-cosine
// terms: each is a second-order section, far less sensitive to single-precision
// rounding than the fourth-order recursion when the radius is large. Each term
// runs causally and anticausally on the input and all four outputs add up. A
// section starts from its steady state for a constant signal, which is exactly
// the replicated edge. Rows first (four rows per vector), then columns in
// strips of sixteen pixels, vectorised across the strip. The rows' floats are
// kept for one slab of columns at a time, not for the whole picture: a first
// row pass keeps only its state at each slab's edges, and each slab redoes its
// part of the rows from there. Redoing rows costs less than writing and
// reading a float copy four times the picture's size.
// Pictures narrower than a strip skip the buffer: each row's pass is redone
// when the column pass needs it, so a one-pixel-wide picture does not pay for
// sixteen.

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

typedef float V8 __attribute__((vector_size(32)));
typedef float V4 __attribute__((vector_size(16)));
typedef std::uint32_t I8 __attribute__((vector_size(32)));
typedef std::int32_t S8 __attribute__((vector_size(32)));
typedef std::uint8_t U32 __attribute__((vector_size(32)));
typedef std::uint8_t U16 __attribute__((vector_size(16)));

constexpr int kStripPixels = 16;
constexpr int kStrip = kStripPixels * 4; // floats
constexpr int kPrefetchRows = 12;
// Columns are blurred a slab at a time, so the row pass's floats never exceed
// one slab per thread.
constexpr int kSlabStrips = 8;
constexpr int kSlabPixels = kSlabStrips * kStripPixels;

// The float buffer of a slab is strip-major: all rows of one strip lie
// together, so the column pass streams through memory.
VIVIDRA_INLINE float* inBuffer(float* buf, std::ptrdiff_t stripStride, std::ptrdiff_t x) {
    return buf + (x / kStripPixels) * stripStride + (x % kStripPixels) * 4;
}

// Four rows' channels side by side as two eight-float halves: eight floats is
// what AVX2 holds in a register, and a sixteen-float vector type is spilled to
// memory there. AVX-512 processors run the halves as two independent chains.
struct Quad {
    V8 lo, hi;
};
VIVIDRA_INLINE Quad operator*(float k, const Quad& v) {
    return {k * v.lo, k * v.hi};
}
VIVIDRA_INLINE Quad operator*(const Quad& v, float k) {
    return {v.lo * k, v.hi * k};
}
VIVIDRA_INLINE Quad operator+(const Quad& a, const Quad& b) {
    return {a.lo + b.lo, a.hi + b.hi};
}
VIVIDRA_INLINE Quad& operator+=(Quad& a, const Quad& b) {
    a.lo += b.lo;
    a.hi += b.hi;
    return a;
}

// Pixel x of four rows side by side, straight from the bytes.
VIVIDRA_INLINE void loadBytes(const std::uint8_t* const* rows, std::ptrdiff_t x, Quad& v) {
    std::uint32_t p[4];
    for (int r = 0; r < 4; ++r)
        std::memcpy(&p[r], rows[r] + 4 * x, 4);
    // Widened by shifts, which every path has, not by a byte conversion.
    const I8 shifts = {0, 8, 16, 24, 0, 8, 16, 24};
    const I8 lo = {p[0], p[0], p[0], p[0], p[1], p[1], p[1], p[1]};
    const I8 hi = {p[2], p[2], p[2], p[2], p[3], p[3], p[3], p[3]};
    v.lo = __builtin_convertvector((lo >> shifts) & 0xff, V8);
    v.hi = __builtin_convertvector((hi >> shifts) & 0xff, V8);
}

// Four pixels from four rows side by side, built and taken apart in registers
// (assembling them in memory would stall on store forwarding).
VIVIDRA_INLINE void loadFour(const float* at, const std::ptrdiff_t* rows, Quad& v) {
    V4 p[4];
    for (int r = 0; r < 4; ++r)
        std::memcpy(&p[r], at + rows[r], 16);
    v.lo = __builtin_shufflevector(p[0], p[1], 0, 1, 2, 3, 4, 5, 6, 7);
    v.hi = __builtin_shufflevector(p[2], p[3], 0, 1, 2, 3, 4, 5, 6, 7);
}

VIVIDRA_INLINE void storeFour(float* at, const std::ptrdiff_t* rows, const Quad& v) {
    const V4 p[4] = {__builtin_shufflevector(v.lo, v.lo, 0, 1, 2, 3),
                     __builtin_shufflevector(v.lo, v.lo, 4, 5, 6, 7),
                     __builtin_shufflevector(v.hi, v.hi, 0, 1, 2, 3),
                     __builtin_shufflevector(v.hi, v.hi, 4, 5, 6, 7)};
    for (int r = 0; r < 4; ++r)
        std::memcpy(at + rows[r], &p[r], 16);
}

// The row recursion's state where it enters a slab, for one group of four
// rows: each section's last two outputs.
struct Edge {
    Quad s1, s2, t1, t2;
};

// Rows of group g (4g…4g+3, a short last group repeating its last row).
VIVIDRA_INLINE void groupRows(const ConstImageView& in, int g, const std::uint8_t** rows) {
    for (int r = 0; r < 4; ++r)
        rows[r] = in.row(std::min(4 * g + r, in.height - 1));
}

// The row pass over whole rows of groups g0…g1, keeping only its state at
// each slab's edges, so that slabs can redo their part of it independently.
// `causal` and `anticausal` hold `slabs` edges per group.
template <class Layout>
VIVIDRA_INLINE void rowEdges(const ConstImageView& in, int g0, int g1, const Coeffs& k,
                             Edge* causal, Edge* anticausal, int slabs) {
    const std::ptrdiff_t w = in.width;
    const Section &s = k.s[0], &t = k.s[1];
    for (int g = g0; g < g1; ++g) {
        const std::uint8_t* rows[4];
        groupRows(in, g, rows);
        Edge* ce = causal + static_cast<std::ptrdiff_t>(g) * slabs;
        Edge* ae = anticausal + static_cast<std::ptrdiff_t>(g) * slabs;
        Quad x1;
        loadBytes(rows, 0, x1);
        Quad s1 = x1 * s.causalGain, s2 = s1, t1 = x1 * t.causalGain, t2 = t1;
        for (int j = 0; j < slabs; ++j) {
            ce[j] = {s1, s2, t1, t2};
            const std::ptrdiff_t end = std::min<std::ptrdiff_t>(w, (j + 1) * kSlabPixels);
            for (std::ptrdiff_t x = j * std::ptrdiff_t{kSlabPixels}; x < end; ++x) {
                Quad xc;
                loadBytes(rows, x, xc);
                const Quad sv = s.a * xc + s.b * x1 + s.q * s2 + s.p * s1;
                const Quad tv = t.a * xc + t.b * x1 + t.q * t2 + t.p * t1;
                x1 = xc;
                s2 = s1, s1 = sv, t2 = t1, t1 = tv;
            }
        }
        loadBytes(rows, w - 1, x1);
        Quad x2 = x1;
        s1 = s2 = x1 * s.anticausalGain;
        t1 = t2 = x1 * t.anticausalGain;
        for (int j = slabs - 1; j >= 0; --j) {
            ae[j] = {s1, s2, t1, t2};
            const std::ptrdiff_t end = std::min<std::ptrdiff_t>(w, (j + 1) * kSlabPixels);
            for (std::ptrdiff_t x = end - 1; x >= j * std::ptrdiff_t{kSlabPixels}; --x) {
                const Quad sv = s.c * x1 + s.e * x2 + s.q * s2 + s.p * s1;
                const Quad tv = t.c * x1 + t.e * x2 + t.q * t2 + t.p * t1;
                x2 = x1, loadBytes(rows, x, x1);
                s2 = s1, s1 = sv, t2 = t1, t1 = tv;
            }
        }
    }
}
VIVIDRA_MULTIVERSION(rowEdgesBest, rowEdges,
                     (const ConstImageView& in, int g0, int g1, const Coeffs& k, Edge* causal,
                      Edge* anticausal, int slabs),
                     (in, g0, g1, k, causal, anticausal, slabs))

// The row pass over slab j of every row into the slab's float buffer, resumed
// from the edges rowEdges kept; the same arithmetic, so the same values.
template <class Layout>
VIVIDRA_INLINE void blurRows(const ConstImageView& in, int j, const Coeffs& k, const Edge* causal,
                             const Edge* anticausal, int slabs, float* buf,
                             std::ptrdiff_t stripStride) {
    const std::ptrdiff_t w = in.width, x0 = j * std::ptrdiff_t{kSlabPixels};
    const std::ptrdiff_t end = std::min<std::ptrdiff_t>(w, x0 + kSlabPixels);
    const Section &s = k.s[0], &t = k.s[1];
    const int groups = static_cast<int>((std::ptrdiff_t{in.height} + 3) / 4);
    for (int g = 0; g < groups; ++g) {
        const std::uint8_t* rows[4];
        groupRows(in, g, rows);
        std::ptrdiff_t dst[4];
        for (int r = 0; r < 4; ++r)
            dst[r] = static_cast<std::ptrdiff_t>(std::min(4 * g + r, in.height - 1)) * kStrip;
        const Edge& ce = causal[static_cast<std::ptrdiff_t>(g) * slabs + j];
        Quad x1;
        loadBytes(rows, std::max<std::ptrdiff_t>(x0 - 1, 0), x1);
        Quad s1 = ce.s1, s2 = ce.s2, t1 = ce.t1, t2 = ce.t2;
        for (std::ptrdiff_t x = x0; x < end; ++x) {
            Quad xc;
            loadBytes(rows, x, xc);
            const Quad sv = s.a * xc + s.b * x1 + s.q * s2 + s.p * s1;
            const Quad tv = t.a * xc + t.b * x1 + t.q * t2 + t.p * t1;
            storeFour(inBuffer(buf, stripStride, x - x0), dst, sv + tv);
            x1 = xc;
            s2 = s1, s1 = sv, t2 = t1, t1 = tv;
        }
        const Edge& ae = anticausal[static_cast<std::ptrdiff_t>(g) * slabs + j];
        loadBytes(rows, std::min(end, w - 1), x1);
        Quad x2, sum;
        loadBytes(rows, std::min(end + 1, w - 1), x2);
        s1 = ae.s1, s2 = ae.s2, t1 = ae.t1, t2 = ae.t2;
        for (std::ptrdiff_t x = end - 1; x >= x0; --x) {
            const Quad sv = s.c * x1 + s.e * x2 + s.q * s2 + s.p * s1;
            const Quad tv = t.c * x1 + t.e * x2 + t.q * t2 + t.p * t1;
            float* at = inBuffer(buf, stripStride, x - x0);
            loadFour(at, dst, sum);
            sum += sv + tv;
            storeFour(at, dst, sum);
            x2 = x1, loadBytes(rows, x, x1);
            s2 = s1, s1 = sv, t2 = t1, t1 = tv;
        }
    }
}
VIVIDRA_MULTIVERSION(blurRowsBest, blurRows,
                     (const ConstImageView& in, int j, const Coeffs& k, const Edge* causal,
                      const Edge* anticausal, int slabs, float* buf, std::ptrdiff_t stripStride),
                     (in, j, k, causal, anticausal, slabs, buf, stripStride))

// One strip of columns from the float buffer to the output. `causal` holds a
// strip-wide row per picture row.
template <class Layout>
VIVIDRA_INLINE void blurStrip(const float* col, int height, int firstPixel, int pixels,
                              const ConstImageView& in, const ImageView& out,
                              float* __restrict causal, const Coeffs& k) {
    const Section &s = k.s[0], &t = k.s[1];
    // Row offsets pass int from row 2^31 / kStrip on.
    auto bufRow = [&](int y) {
        return col + static_cast<std::ptrdiff_t>(std::clamp(y, 0, height - 1)) * kStrip;
    };
    const std::ptrdiff_t firstByte = 4 * static_cast<std::ptrdiff_t>(firstPixel);
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
        float* __restrict o = causal + static_cast<std::ptrdiff_t>(y) * kStrip;
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
        const float* __restrict c = causal + static_cast<std::ptrdiff_t>(y) * kStrip;
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
            __builtin_prefetch(in.row(y - kPrefetchRows) + firstByte);
            __builtin_prefetch(out.row(y - kPrefetchRows) + firstByte, 1);
        }
        const std::uint8_t* __restrict a = in.row(y) + firstByte;
        std::uint8_t* __restrict d = out.row(y) + firstByte;
        if (pixels == kStripPixels) {
            // roundByte on whole vectors, four pixels at a time: written per
            // byte, the loop stays scalar on AVX2.
            const U16 alpha = {0, 0, 0, 0xff, 0, 0, 0, 0xff, 0, 0, 0, 0xff, 0, 0, 0, 0xff};
            for (int j = 0; j < kStrip; j += 16) {
                U32 b[2];
                for (int h = 0; h < 2; ++h) {
                    V8 v;
                    std::memcpy(&v, sum + j + 8 * h, 32);
                    v += 0.5f;
                    v = v > 0.0f ? v : 0.0f;
                    v = v < 255.0f ? v : 255.0f;
                    const S8 i = __builtin_convertvector(v, S8);
                    std::memcpy(&b[h], &i, 32);
                }
                U16 r = __builtin_shufflevector(b[0], b[1], 0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40,
                                                44, 48, 52, 56, 60);
                U16 keep;
                std::memcpy(&keep, a + j, 16);
                r = (r & ~alpha) | (keep & alpha);
                std::memcpy(d + j, &r, 16);
            }
        } else {
            for (int j = 0; j < 4 * pixels; ++j)
                d[j] = (j & 3) == 3 ? a[j] : roundByte(sum[j]);
        }
    }
}
VIVIDRA_MULTIVERSION(blurStripBest, blurStrip,
                     (const float* col, int height, int firstPixel, int pixels,
                      const ConstImageView& in, const ImageView& out, float* causal,
                      const Coeffs& k),
                     (col, height, firstPixel, pixels, in, out, causal, k))

bool blurStrips(const ConstImageView& in, const ImageView& out, const Coeffs& k) {
    const int w = in.width, h = in.height;
    const int slabs = static_cast<int>((std::ptrdiff_t{w} + kSlabPixels - 1) / kSlabPixels);
    const int groups = static_cast<int>((std::ptrdiff_t{h} + 3) / 4);
    const std::size_t edgeCount =
        static_cast<std::size_t>(slabs) * static_cast<std::size_t>(groups);
    detail::PixelBuffer edges(2 * edgeCount * sizeof(Edge));
    if (!edges)
        return false;
    Edge* causalEdges = edges.as<Edge>();
    Edge* anticausalEdges = causalEdges + edgeCount;
    const std::ptrdiff_t stripStride = static_cast<std::ptrdiff_t>(h) * kStrip;

    std::atomic<bool> failed{false};
    const bool done = detail::withLayout(in.order, [&](auto layout) {
        using L = decltype(layout);
        const bool edgesDone = parallelRows(
            groups,
            [&](int g0, int g1) {
                rowEdgesBest<L>(in, g0, g1, k, causalEdges, anticausalEdges, slabs);
            },
            4);
        if (!edgesDone)
            return false;
        return parallelRows(
            slabs,
            [&](int j0, int j1) {
                // One slab's rows and one strip's causal column pass: a few
                // megabytes per thread, whatever the picture's size.
                detail::PixelBuffer memory(static_cast<std::size_t>(stripStride) *
                                           (kSlabStrips + 1) * sizeof(float));
                if (!memory) {
                    failed = true;
                    return;
                }
                float* buf = memory.as<float>();
                float* causal = buf + kSlabStrips * stripStride;
                for (int j = j0; j < j1; ++j) {
                    const int first = j * kSlabPixels;
                    const int pixels = std::min(kSlabPixels, w - first);
                    const int strips = (pixels + kStripPixels - 1) / kStripPixels;
                    // Columns past the picture in the last strip are computed but
                    // never used; zeros keep them from holding NaNs or denormals.
                    if (pixels % kStripPixels != 0)
                        std::fill(buf + (strips - 1) * stripStride, buf + strips * stripStride,
                                  0.0f);
                    blurRowsBest<L>(in, j, k, causalEdges, anticausalEdges, slabs, buf,
                                    stripStride);
                    for (int s = 0; s < strips; ++s) {
                        const int x = first + s * kStripPixels;
                        blurStripBest<L>(buf + s * stripStride, h, x, std::min(kStripPixels, w - x),
                                         in, out, causal, k);
                    }
                }
            },
            1);
    });
    return done && !failed;
}

// The row pass over one row of a narrow picture into 4·width floats: the
// recursion of blurRows, the four channels of a pixel in one vector.
void narrowRow(const std::uint8_t* bytes, int w, const Coeffs& k, float* x) {
    const Section &s = k.s[0], &t = k.s[1];
    const auto pixel = [&](int i) {
        const std::uint8_t* p = bytes + 4 * i;
        return V4{static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2]),
                  static_cast<float>(p[3])};
    };
    V4 x1 = pixel(0);
    V4 s1 = x1 * s.causalGain, s2 = s1, t1 = x1 * t.causalGain, t2 = t1;
    for (int i = 0; i < w; ++i) {
        const V4 xc = pixel(i);
        const V4 sv = s.a * xc + s.b * x1 + s.q * s2 + s.p * s1;
        const V4 tv = t.a * xc + t.b * x1 + t.q * t2 + t.p * t1;
        const V4 sum = sv + tv;
        std::memcpy(x + 4 * i, &sum, 16);
        x1 = xc;
        s2 = s1, s1 = sv, t2 = t1, t1 = tv;
    }
    x1 = pixel(w - 1);
    V4 x2 = x1;
    s1 = s2 = x1 * s.anticausalGain;
    t1 = t2 = x1 * t.anticausalGain;
    for (int i = w - 1; i >= 0; --i) {
        const V4 sv = s.c * x1 + s.e * x2 + s.q * s2 + s.p * s1;
        const V4 tv = t.c * x1 + t.e * x2 + t.q * t2 + t.p * t1;
        V4 sum;
        std::memcpy(&sum, x + 4 * i, 16);
        sum += sv + tv;
        std::memcpy(x + 4 * i, &sum, 16);
        x2 = x1, x1 = pixel(i);
        s2 = s1, s1 = sv, t2 = t1, t1 = tv;
    }
}

// Pictures narrower than a strip: the column pass of blurStrip over rows made
// as it goes, keeping only the causal half of the columns.
bool blurNarrow(const ConstImageView& in, const ImageView& out, const Coeffs& k) {
    const int w = in.width, h = in.height, span = 4 * w;
    detail::PixelBuffer causalMemory(static_cast<std::size_t>(h) * static_cast<std::size_t>(span) *
                                     sizeof(float));
    if (!causalMemory)
        return false;
    float* causal = causalMemory.as<float>();
    const Section &s = k.s[0], &t = k.s[1];
    // Rows of the row pass (the newer one first) and two rows of history per
    // section, indexed by row parity.
    float xa[kStrip], xb[kStrip], hs[2][kStrip], ht[2][kStrip];

    narrowRow(in.row(0), w, k, xa);
    for (int j = 0; j < span; ++j) {
        hs[0][j] = hs[1][j] = xa[j] * s.causalGain;
        ht[0][j] = ht[1][j] = xa[j] * t.causalGain;
    }
    for (int y = 0; y < h; ++y) {
        std::copy(xa, xa + span, xb);
        if (y > 0)
            narrowRow(in.row(y), w, k, xa);
        float* s2 = hs[y & 1]; // row y−2, becomes row y
        const float* s1 = hs[(y + 1) & 1];
        float* t2 = ht[y & 1];
        const float* t1 = ht[(y + 1) & 1];
        float* o = causal + static_cast<std::ptrdiff_t>(y) * span;
        for (int j = 0; j < span; ++j) {
            const float sv = s.a * xa[j] + s.b * xb[j] + s.q * s2[j] + s.p * s1[j];
            const float tv = t.a * xa[j] + t.b * xb[j] + t.q * t2[j] + t.p * t1[j];
            s2[j] = sv;
            t2[j] = tv;
            o[j] = sv + tv;
        }
    }

    // Here xa holds row h−1, the value of every row past the end.
    std::copy(xa, xa + span, xb);
    for (int j = 0; j < span; ++j) {
        hs[0][j] = hs[1][j] = xa[j] * s.anticausalGain;
        ht[0][j] = ht[1][j] = xa[j] * t.anticausalGain;
    }
    for (int y = h - 1; y >= 0; --y) {
        // xa holds row y+1 and xb row y+2, both clamped to the last row.
        float* s2 = hs[y & 1]; // row y+2, becomes row y
        const float* s1 = hs[(y + 1) & 1];
        float* t2 = ht[y & 1];
        const float* t1 = ht[(y + 1) & 1];
        const float* c = causal + static_cast<std::ptrdiff_t>(y) * span;
        const std::uint8_t* a = in.row(y);
        std::uint8_t* d = out.row(y);
        for (int j = 0; j < span; ++j) {
            const float sv = s.c * xa[j] + s.e * xb[j] + s.q * s2[j] + s.p * s1[j];
            const float tv = t.c * xa[j] + t.e * xb[j] + t.q * t2[j] + t.p * t1[j];
            s2[j] = sv;
            t2[j] = tv;
            d[j] = (j & 3) == 3 ? a[j] : roundByte(sv + tv + c[j]);
        }
        if (y > 0) {
            std::copy(xa, xa + span, xb);
            narrowRow(a, w, k, xa);
        }
    }
    return true;
}

} // namespace

bool gaussianBlur(const ConstImageView& in, const ImageView& out, double radius) {
    if (!detail::sameSize(in, out))
        return false;
    if (!(radius >= 0.5))
        return detail::copyPixels(in, out);
    const Coeffs k = derive(radius);
    const bool done = in.width < kStripPixels ? blurNarrow(in, out, k) : blurStrips(in, out, k);
    return done && detail::matchOutputOrder(in, out);
}

} // namespace vividra::fx
