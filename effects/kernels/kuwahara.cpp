#include "effects/kernels/kuwahara.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "effects/kernels/parallel.h"
#include "effects/kernels/pixel_ops.h"

// Every quadrant is the (r+1)×(r+1) box whose top-left corner is the pixel
// itself or r to the left and/or above, so one table of box sums per row serves
// all four. Each band of output rows keeps two running windows of column sums
// (rows y…y+r for the lower quadrants, y−r…y for the upper ones) and slides them
// down a row at a time; box sums along a row are a running sum over those.
// Integer sums make the variances, and so the ties, exact.

namespace vividra::fx {

namespace {

enum Plane { PR, PG, PB, PQ, kPlanes }; // red, green, blue sums; sum of squares

template <class L, class S> struct Traits {
    using Layout = L;
    using Sum = S;
};

// Working rows of one band: two windows of column sums over x = −r … w−1+r and
// their box sums over x0 = −r … w−1, plane by plane.
template <class S> struct BandScratch {
    std::vector<S> columns[2][kPlanes];
    std::vector<S> boxes[2][kPlanes];
    std::vector<std::int32_t> means; // chosen quadrant's mean, red, green and blue rows
    std::vector<std::uint8_t> black; // a row of zeros to slide out while filling
    BandScratch(int w, int r)
        : means(static_cast<std::size_t>(3 * w)), black(static_cast<std::size_t>(4 * w)) {
        for (int win = 0; win < 2; ++win)
            for (int p = 0; p < kPlanes; ++p) {
                columns[win][p].assign(static_cast<std::size_t>(w + 2 * r), 0);
                boxes[win][p].assign(static_cast<std::size_t>(w + r), 0);
            }
    }
};

template <class T>
VIVIDRA_INLINE void slideWindow(typename T::Sum* const* cols, const std::uint8_t* add,
                                const std::uint8_t* sub, int w, int r) {
    using S = typename T::Sum;
    using L = typename T::Layout;
    S* __restrict cr = cols[PR] + r;
    S* __restrict cg = cols[PG] + r;
    S* __restrict cb = cols[PB] + r;
    S* __restrict cq = cols[PQ] + r;
    for (int x = 0; x < w; ++x) {
        const std::uint32_t pa = detail::loadPixel(add, x), ps = detail::loadPixel(sub, x);
        const S r1 = static_cast<S>(detail::channel<L::r>(pa)),
                g1 = static_cast<S>(detail::channel<L::g>(pa)),
                b1 = static_cast<S>(detail::channel<L::b>(pa));
        const S r0 = static_cast<S>(detail::channel<L::r>(ps)),
                g0 = static_cast<S>(detail::channel<L::g>(ps)),
                b0 = static_cast<S>(detail::channel<L::b>(ps));
        // Every partial total is a real window total, so nothing overflows.
        cr[x] += r1 - r0;
        cg[x] += g1 - g0;
        cb[x] += b1 - b0;
        cq[x] += (r1 * r1 + g1 * g1 + b1 * b1) - (r0 * r0 + g0 * g0 + b0 * b0);
    }
    // Replicated edges: the r columns beyond each side repeat the edge pixel.
    for (int side = 0; side < 2; ++side) {
        const int px = side == 0 ? 0 : w - 1;
        const int from = side == 0 ? -r : w;
        const S r1 = add[4 * px + L::r], g1 = add[4 * px + L::g], b1 = add[4 * px + L::b];
        const S r0 = sub[4 * px + L::r], g0 = sub[4 * px + L::g], b0 = sub[4 * px + L::b];
        const S q = (r1 * r1 + g1 * g1 + b1 * b1) - (r0 * r0 + g0 * g0 + b0 * b0);
        for (int x = from; x < from + r; ++x) {
            cr[x] += r1 - r0;
            cg[x] += g1 - g0;
            cb[x] += b1 - b0;
            cq[x] += q;
        }
    }
}

template <class S> VIVIDRA_INLINE void boxRow(const S* cols, S* boxes, int w, int r) {
    S acc = 0;
    for (int i = 0; i <= r; ++i)
        acc += cols[i];
    boxes[0] = acc;
    for (int i = 1; i < w + r; ++i) {
        acc += cols[i + r] - cols[i - 1];
        boxes[i] = acc;
    }
}

// Takes the quadrant if its score is strictly lower, so earlier ones win ties.
template <class S>
VIVIDRA_INLINE void consider(double n, S r, S g, S b, S q, double& best, double& br, double& bg,
                             double& bb) {
    const double cr = static_cast<double>(r), cg = static_cast<double>(g),
                 cb = static_cast<double>(b);
    const double score = n * static_cast<double>(q) - (cr * cr + cg * cg + cb * cb);
    const bool better = score < best;
    best = better ? score : best;
    br = better ? cr : br;
    bg = better ? cg : bg;
    bb = better ? cb : bb;
}

template <class T>
VIVIDRA_INLINE void pickRow(typename T::Sum* const* lower, typename T::Sum* const* upper,
                            const std::uint8_t* src, std::uint8_t* dst, int w, int r,
                            std::int32_t* __restrict means) {
    using S = typename T::Sum;
    std::int32_t* __restrict mr = means, * __restrict mg = means + w, * __restrict mb = means + 2 * w;
    using L = typename T::Layout;
    const double n = static_cast<double>(r + 1) * (r + 1);
    // Four quadrants in tie order: lower-left, lower-right, upper-right, upper-left.
    const S* __restrict r0 = lower[PR], * __restrict r1 = lower[PR] + r, * __restrict r2 = upper[PR] + r, * __restrict r3 = upper[PR];
    const S* __restrict g0 = lower[PG], * __restrict g1 = lower[PG] + r, * __restrict g2 = upper[PG] + r, * __restrict g3 = upper[PG];
    const S* __restrict b0 = lower[PB], * __restrict b1 = lower[PB] + r, * __restrict b2 = upper[PB] + r, * __restrict b3 = upper[PB];
    const S* __restrict q0 = lower[PQ], * __restrict q1 = lower[PQ] + r, * __restrict q2 = upper[PQ] + r, * __restrict q3 = upper[PQ];
    for (int x = 0; x < w; ++x) {
        // n² times the summed variance, exact in double for any sane radius.
        double br = static_cast<double>(r0[x]), bg = static_cast<double>(g0[x]),
               bb = static_cast<double>(b0[x]);
        double best = n * static_cast<double>(q0[x]) - (br * br + bg * bg + bb * bb);
        consider(n, r1[x], g1[x], b1[x], q1[x], best, br, bg, bb);
        consider(n, r2[x], g2[x], b2[x], q2[x], best, br, bg, bb);
        consider(n, r3[x], g3[x], b3[x], q3[x], best, br, bg, bb);
        // Mean rounded half up (truncation is floor here, all positive); the
        // quotient of integers is never within rounding error of a whole
        // number unless it is one.
        const double twoN = 2.0 * n;
        mr[x] = static_cast<std::int32_t>((2.0 * br + n) / twoN);
        mg[x] = static_cast<std::int32_t>((2.0 * bg + n) / twoN);
        mb[x] = static_cast<std::int32_t>((2.0 * bb + n) / twoN);
    }
    // Packing bytes in a separate loop keeps the one above all wide lanes.
    for (int x = 0; x < w; ++x)
        detail::storePixel(dst, x,
                           (detail::loadPixel(src, x) & 0xff000000u) |
                               static_cast<std::uint32_t>(mr[x]) << (8 * L::r) |
                               static_cast<std::uint32_t>(mg[x]) << (8 * L::g) |
                               static_cast<std::uint32_t>(mb[x]) << (8 * L::b));
}

template <class T>
VIVIDRA_INLINE void kuwaharaBand(const ConstImageView& in, const ImageView& out, int r, int y0,
                                 int y1) {
    using S = typename T::Sum;
    const int w = in.width, h = in.height;
    BandScratch<S> band(w, r);
    S* cols[2][kPlanes];
    S* boxes[2][kPlanes];
    for (int win = 0; win < 2; ++win)
        for (int p = 0; p < kPlanes; ++p) {
            cols[win][p] = band.columns[win][p].data();
            boxes[win][p] = band.boxes[win][p].data();
        }
    auto row = [&](int y) { return in.row(std::clamp(y, 0, h - 1)); };
    // Window 0 covers rows y…y+r, window 1 rows y−r…y.
    for (int k = 0; k <= r; ++k) {
        slideWindow<T>(cols[0], row(y0 + k), band.black.data(), w, r);
        slideWindow<T>(cols[1], row(y0 - r + k), band.black.data(), w, r);
    }
    for (int y = y0; y < y1; ++y) {
        if (y > y0) {
            slideWindow<T>(cols[0], row(y + r), row(y - 1), w, r);
            slideWindow<T>(cols[1], row(y), row(y - r - 1), w, r);
        }
        for (int win = 0; win < 2; ++win)
            for (int p = 0; p < kPlanes; ++p)
                boxRow(cols[win][p], boxes[win][p], w, r);
        pickRow<T>(boxes[0], boxes[1], in.row(y), out.row(y), w, r, band.means.data());
    }
}
VIVIDRA_MULTIVERSION(kuwaharaBandBest, kuwaharaBand,
                     (const ConstImageView& in, const ImageView& out, int r, int y0, int y1),
                     (in, out, r, y0, y1))

template <class S> void run(const ConstImageView& in, const ImageView& out, int r) {
    // Each band pays for filling its windows, so bands grow with the radius.
    const int band = std::max(32, 4 * (r + 1));
    const int bands = (in.height + band - 1) / band;
    detail::withLayout(in.order, [&](auto layout) {
        using T = Traits<decltype(layout), S>;
        parallelRows(
            bands,
            [&](int b0, int b1) {
                for (int b = b0; b < b1; ++b)
                    kuwaharaBandBest<T>(in, out, r, b * band, std::min(in.height, (b + 1) * band));
            },
            1);
    });
}

} // namespace

void kuwahara(const ConstImageView& in, const ImageView& out, unsigned radius) {
    if (!detail::sameSize(in, out))
        return;
    if (radius == 0) {
        detail::copyPixels(in, out);
        return;
    }
    // Past the picture's size a larger box only repeats edge pixels further.
    const int r = static_cast<int>(std::min<unsigned>(radius, 1u << 20));
    // Sums of squares of a box, (r+1)²·3·255², must fit the sum type; signed
    // 32-bit sums convert to double in vectors on every x86-64.
    if (r <= 100)
        run<std::int32_t>(in, out, r);
    else
        run<std::int64_t>(in, out, r);
    detail::matchOutputOrder(in, out);
}

} // namespace vividra::fx
