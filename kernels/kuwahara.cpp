#include "kernels/kuwahara.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "kernels/parallel.h"
#include "kernels/pixel_ops.h"

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
// their box sums over x0 = −r … w−1, plane by plane, carved out of one block of
// pool memory that a task reuses for each of its bands.
template <class S> struct BandScratch {
    S* columns[2][kPlanes];
    S* boxes[2][kPlanes];
    std::int32_t* means; // chosen quadrant's mean, red, green and blue rows
    std::uint8_t* black; // a row of zeros to slide out while filling
    std::size_t columnBytes;

    static std::size_t bytes(int w, int r) {
        const std::size_t n = static_cast<std::size_t>(w), k = static_cast<std::size_t>(r);
        return 2 * kPlanes * ((n + 2 * k) + (n + k)) * sizeof(S) + 3 * n * sizeof(std::int32_t) +
               4 * n;
    }
    BandScratch(void* memory, int w, int r) {
        const std::size_t n = static_cast<std::size_t>(w), k = static_cast<std::size_t>(r);
        S* at = static_cast<S*>(memory);
        for (int win = 0; win < 2; ++win)
            for (int p = 0; p < kPlanes; ++p, at += n + 2 * k)
                columns[win][p] = at;
        columnBytes = 2 * kPlanes * (n + 2 * k) * sizeof(S);
        for (int win = 0; win < 2; ++win)
            for (int p = 0; p < kPlanes; ++p, at += n + k)
                boxes[win][p] = at;
        means = reinterpret_cast<std::int32_t*>(at);
        black = reinterpret_cast<std::uint8_t*>(means + 3 * n);
        std::memset(black, 0, 4 * n);
    }
    // Empty windows, for the start of a band.
    void clearColumns() { std::memset(columns[0][0], 0, columnBytes); }
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
        const std::ptrdiff_t px = side == 0 ? 0 : std::ptrdiff_t{w} - 1;
        const std::ptrdiff_t from = side == 0 ? -r : w;
        const std::uint8_t* a = add + 4 * px;
        const std::uint8_t* u = sub + 4 * px;
        const S r1 = a[L::r], g1 = a[L::g], b1 = a[L::b];
        const S r0 = u[L::r], g0 = u[L::g], b0 = u[L::b];
        const S q = (r1 * r1 + g1 * g1 + b1 * b1) - (r0 * r0 + g0 * g0 + b0 * b0);
        for (std::ptrdiff_t x = from; x < from + r; ++x) {
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
    const std::ptrdiff_t n = std::ptrdiff_t{w} + r;
    for (std::ptrdiff_t i = 1; i < n; ++i) {
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
    std::int32_t* __restrict mr = means, * __restrict mg = means + std::ptrdiff_t{w}, * __restrict mb = means + 2 * std::ptrdiff_t{w};
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
                                 int y1, BandScratch<typename T::Sum>& band) {
    const int w = in.width, h = in.height;
    auto& cols = band.columns;
    auto& boxes = band.boxes;
    band.clearColumns();
    auto row = [&](std::ptrdiff_t y) {
        return in.row(static_cast<int>(std::clamp<std::ptrdiff_t>(y, 0, h - 1)));
    };
    // Window 0 covers rows y…y+r, window 1 rows y−r…y.
    for (std::ptrdiff_t k = 0; k <= r; ++k) {
        slideWindow<T>(cols[0], row(y0 + k), band.black, w, r);
        slideWindow<T>(cols[1], row(y0 - r + k), band.black, w, r);
    }
    for (int y = y0; y < y1; ++y) {
        if (y > y0) {
            slideWindow<T>(cols[0], row(std::ptrdiff_t{y} + r), row(y - 1), w, r);
            slideWindow<T>(cols[1], row(y), row(std::ptrdiff_t{y} - r - 1), w, r);
        }
        for (int win = 0; win < 2; ++win)
            for (int p = 0; p < kPlanes; ++p)
                boxRow(cols[win][p], boxes[win][p], w, r);
        pickRow<T>(boxes[0], boxes[1], in.row(y), out.row(y), w, r, band.means);
    }
}
VIVIDRA_MULTIVERSION(kuwaharaBandBest, kuwaharaBand,
                     (const ConstImageView& in, const ImageView& out, int r, int y0, int y1,
                      BandScratch<typename Layout::Sum>& band),
                     (in, out, r, y0, y1, band))

template <class S> bool run(const ConstImageView& in, const ImageView& out, int r) {
    // Each band pays for filling its windows, so bands grow with the radius.
    const int band = std::max(32, 4 * (r + 1));
    const int bands = static_cast<int>((std::ptrdiff_t{in.height} + band - 1) / band);
    std::atomic<bool> failed{false};
    const bool done = detail::withLayout(in.order, [&](auto layout) {
        using T = Traits<decltype(layout), S>;
        return parallelRows(
            bands,
            [&](int b0, int b1) {
                detail::PixelBuffer memory(BandScratch<S>::bytes(in.width, r));
                if (!memory) {
                    failed = true;
                    return;
                }
                BandScratch<S> scratch(memory.as<void>(), in.width, r);
                for (int b = b0; b < b1; ++b) {
                    const std::ptrdiff_t y0 = std::ptrdiff_t{b} * band;
                    const std::ptrdiff_t y1 = std::min<std::ptrdiff_t>(in.height, y0 + band);
                    kuwaharaBandBest<T>(in, out, r, static_cast<int>(y0), static_cast<int>(y1),
                                        scratch);
                }
            },
            1);
    });
    return done && !failed;
}

} // namespace

bool kuwahara(const ConstImageView& in, const ImageView& out, unsigned radius) {
    if (!detail::sameSize(in, out))
        return false;
    if (radius == 0)
        return detail::copyPixels(in, out);
    // Past the picture's size a larger box only repeats edge pixels further.
    const int r = static_cast<int>(std::min<unsigned>(radius, 1u << 20));
    // Sums of squares of a box, (r+1)²·3·255², must fit the sum type; signed
    // 32-bit sums convert to double in vectors on every x86-64.
    const bool done = r <= 100 ? run<std::int32_t>(in, out, r) : run<std::int64_t>(in, out, r);
    return done && detail::matchOutputOrder(in, out);
}

} // namespace vividra::fx
