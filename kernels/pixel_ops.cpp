#include "kernels/pixel_ops.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "kernels/parallel.h"
#include "kernels/pixel_memory.h"

#if VIVIDRA_HAVE_DISPATCH
#include <immintrin.h>
#endif

namespace vividra::fx::detail {

namespace {

// The best path this processor runs.
Isa machineIsa() {
#if VIVIDRA_HAVE_DISPATCH
    static const Isa best = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
            __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq"))
            return Isa::Avx512;
        if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
            return Isa::Avx2;
        return Isa::Base;
    }();
    return best;
#else
    return Isa::Base;
#endif
}

// VIVIDRA_ISA=base, avx2 or avx512 holds a newer machine to an older path, to
// time or check it; a path the machine lacks, or any other value, means its best.
Isa requestedIsa() {
    const char* named = std::getenv("VIVIDRA_ISA");
    const std::string_view name = named ? named : "";
    const Isa best = machineIsa();
    if (name == "base")
        return Isa::Base;
    if (name == "avx2")
        return std::min(best, Isa::Avx2);
    return best;
}

constexpr int kUnset = -1;
std::atomic<int> chosenIsa{kUnset};

} // namespace

Isa isa() {
    int chosen = chosenIsa.load(std::memory_order_relaxed);
    if (chosen == kUnset) {
        chosen = static_cast<int>(requestedIsa());
        int expected = kUnset;
        if (!chosenIsa.compare_exchange_strong(expected, chosen, std::memory_order_relaxed))
            chosen = expected;
    }
    return static_cast<Isa>(chosen);
}

Isa useIsa(Isa path) {
    const Isa chosen = std::min(path, machineIsa());
    chosenIsa.store(static_cast<int>(chosen), std::memory_order_relaxed);
    return chosen;
}

namespace {

bool haveVbmi() {
#if VIVIDRA_HAVE_DISPATCH
    static const bool vbmi = machineIsa() == Isa::Avx512 && __builtin_cpu_supports("avx512vbmi");
    return vbmi && isa() == Isa::Avx512;
#else
    return false;
#endif
}

void swapRedBlue(std::uint8_t* p, int width) {
    for (std::uint8_t* end = p + 4 * std::ptrdiff_t{width}; p != end; p += 4) {
        const std::uint8_t t = p[0];
        p[0] = p[2];
        p[2] = t;
    }
}

// Tables indexed by byte position within the pixel, so one loop serves both orders.
struct PositionLuts {
    alignas(64) std::uint8_t t[3][256];
};

void lutRowScalar(const std::uint8_t* s, std::uint8_t* d, int width, const PositionLuts& l) {
    for (std::ptrdiff_t i = 0, end = 4 * std::ptrdiff_t{width}; i < end; i += 4) {
        const std::uint8_t c0 = s[i], c1 = s[i + 1], c2 = s[i + 2], a = s[i + 3];
        d[i] = l.t[0][c0];
        d[i + 1] = l.t[1][c1];
        d[i + 2] = l.t[2][c2];
        d[i + 3] = a;
    }
}

#if VIVIDRA_HAVE_DISPATCH
// 64 bytes at a time: each table is four registers, looked up with two
// two-register byte permutes and a blend on the index's top bit.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void
lutRowVbmi(const std::uint8_t* s, std::uint8_t* d, int width, const PositionLuts& l) {
    __m512i tab[3][4];
    for (int c = 0; c < 3; ++c)
        for (int q = 0; q < 4; ++q)
            tab[c][q] = _mm512_loadu_si512(l.t[c] + 64 * q);
    const __mmask64 pos0 = 0x1111111111111111ull, pos1 = pos0 << 1, pos2 = pos0 << 2;
    const std::size_t bytes = static_cast<std::size_t>(width) * 4;
    for (std::size_t i = 0; i < bytes; i += 64) {
        const std::size_t n = bytes - i < 64 ? bytes - i : 64;
        const __mmask64 live = n == 64 ? ~0ull : (1ull << n) - 1;
        const __m512i v = _mm512_maskz_loadu_epi8(live, s + i);
        const __mmask64 high = _mm512_movepi8_mask(v);
        __m512i out = v;
        const __mmask64 pos[3] = {pos0, pos1, pos2};
        for (int c = 0; c < 3; ++c) {
            const __m512i lo = _mm512_permutex2var_epi8(tab[c][0], v, tab[c][1]);
            const __m512i hi = _mm512_permutex2var_epi8(tab[c][2], v, tab[c][3]);
            out = _mm512_mask_blend_epi8(pos[c], out, _mm512_mask_blend_epi8(high, lo, hi));
        }
        _mm512_mask_storeu_epi8(d + i, live, out);
    }
}
#endif

void lutRow(const std::uint8_t* s, std::uint8_t* d, int width, const PositionLuts& l) {
#if VIVIDRA_HAVE_DISPATCH
    if (haveVbmi()) {
        lutRowVbmi(s, d, width, l);
        return;
    }
#endif
    lutRowScalar(s, d, width, l);
}

template <class Layout>
VIVIDRA_INLINE void matrixRow(const std::uint8_t* s, std::uint8_t* d, int width,
                              const ColourMatrix& cm) {
    const float m00 = cm.m[0][0], m01 = cm.m[0][1], m02 = cm.m[0][2];
    const float m10 = cm.m[1][0], m11 = cm.m[1][1], m12 = cm.m[1][2];
    const float m20 = cm.m[2][0], m21 = cm.m[2][1], m22 = cm.m[2][2];
    const float o0 = cm.offset[0], o1 = cm.offset[1], o2 = cm.offset[2];
    for (int x = 0; x < width; ++x) {
        const std::uint32_t p = loadPixel(s, x);
        const float r = channel<Layout::r>(p), g = channel<Layout::g>(p), b = channel<Layout::b>(p);
        const float nr = m00 * r + m01 * g + m02 * b + o0;
        const float ng = m10 * r + m11 * g + m12 * b + o1;
        const float nb = m20 * r + m21 * g + m22 * b + o2;
        storePixel(d, x,
                   (p & 0xff000000u) | place<Layout::r>(roundByte(nr)) |
                       place<Layout::g>(roundByte(ng)) | place<Layout::b>(roundByte(nb)));
    }
}
VIVIDRA_MULTIVERSION(matrixRowBest, matrixRow,
                     (const std::uint8_t* s, std::uint8_t* d, int width, const ColourMatrix& cm),
                     (s, d, width, cm))

PositionLuts positionLuts(const ChannelLuts& luts, ChannelOrder order) {
    PositionLuts p;
    withLayout(order, [&](auto layout) {
        using L = decltype(layout);
        std::memcpy(p.t[L::r], luts.r, 256);
        std::memcpy(p.t[L::g], luts.g, 256);
        std::memcpy(p.t[L::b], luts.b, 256);
    });
    return p;
}

} // namespace

bool copyPixels(const ConstImageView& in, const ImageView& out) {
    if (!sameSize(in, out))
        return false;
    const std::size_t bytes = static_cast<std::size_t>(in.width) * 4;
    const bool done = parallelRows(in.height, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            if (out.row(y) != in.row(y))
                std::memmove(out.row(y), in.row(y), bytes);
    });
    return done && matchOutputOrder(in, out);
}

bool matchOutputOrder(const ConstImageView& in, const ImageView& out) {
    if (in.order == out.order || out.empty())
        return true;
    return parallelRows(out.height, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            swapRedBlue(out.row(y), out.width);
    });
}

namespace {

// Stages whose tables fit on the stack: more than any caller chains.
constexpr int kMaxStages = 8;

using Kind = ColourStage::Kind;

// Up to kMaxStages matrix and table stages from `in` to `out`, in the input's
// channel order.
bool runTableStages(const ConstImageView& in, const ImageView& out, const ColourStage* stages,
                    int count) {
    PositionLuts luts[kMaxStages];
    for (int i = 0; i < count; ++i)
        if (stages[i].kind == Kind::Luts)
            luts[i] = positionLuts(stages[i].luts, in.order);
    return withLayout(in.order, [&](auto layout) {
        using L = decltype(layout);
        return parallelRows(in.height, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* s = in.row(y);
                std::uint8_t* d = out.row(y);
                // The first stage moves the row into the output; the rest work in
                // place while it is still in the first-level cache.
                for (int i = 0; i < count; ++i) {
                    if (stages[i].kind == Kind::Matrix)
                        matrixRowBest<L>(s, d, in.width, stages[i].matrix);
                    else
                        lutRow(s, d, in.width, luts[i]);
                    s = d;
                }
            }
        });
    });
}

ChannelLuts scaleLuts(const ChannelScale& scale) {
    ChannelLuts l;
    std::uint8_t* tables[3] = {l.r, l.g, l.b};
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            tables[c][v] = scaleByte(v, scale.gain[c], scale.offset[c]);
    return l;
}

// Table composition: apply `first`, then `second`.
ChannelLuts compose(const ChannelLuts& first, const ChannelLuts& second) {
    ChannelLuts l;
    for (int v = 0; v < 256; ++v) {
        l.r[v] = second.r[first.r[v]];
        l.g[v] = second.g[first.g[v]];
        l.b[v] = second.b[first.b[v]];
    }
    return l;
}

// Each run of per-channel stages between matrices folds into one table, which
// gives the same bytes as running them one by one. With `keepScales`, runs
// without a table stay as they are: arithmetic beats a lookup.
int foldTables(const ColourStage* stages, int count, bool keepScales, ColourStage* folded) {
    int n = 0;
    for (int i = 0; i < count;) {
        if (stages[i].kind == Kind::Matrix) {
            folded[n++] = stages[i++];
            continue;
        }
        int end = i;
        bool table = !keepScales;
        for (; end < count && stages[end].kind != Kind::Matrix; ++end)
            table = table || stages[end].kind == Kind::Luts;
        if (!table) {
            while (i < end)
                folded[n++] = stages[i++];
            continue;
        }
        folded[n].kind = Kind::Luts;
        for (bool first = true; i < end; ++i, first = false) {
            const ChannelLuts l =
                stages[i].kind == Kind::Scale ? scaleLuts(stages[i].scale) : stages[i].luts;
            folded[n].luts = first ? l : compose(folded[n].luts, l);
        }
        ++n;
    }
    return n;
}

#if VIVIDRA_HAVE_DISPATCH
// Stages as the vector path reads them: each colour stays in float registers
// from the first stage to the last, rounded to whole levels after each.
struct VectorStages {
    int count = 0;
    Kind kind[kMaxStages];
    // Matrix rows, or a scale's gains on the diagonal.
    float m[kMaxStages][3][3];
    // Offsets plus one half, so that rounding down rounds to nearest.
    float offset[kMaxStages][3];
    alignas(64) float lut[kMaxStages][3][256];
};

VectorStages vectorStages(const ColourStage* stages, int count) {
    VectorStages v;
    v.count = count;
    for (int i = 0; i < count; ++i) {
        const ColourStage& s = stages[i];
        v.kind[i] = s.kind;
        for (int c = 0; c < 3; ++c) {
            for (int k = 0; k < 3; ++k)
                v.m[i][c][k] =
                    s.kind == Kind::Matrix ? s.matrix.m[c][k] : (c == k ? s.scale.gain[c] : 0.0f);
            v.offset[i][c] =
                (s.kind == Kind::Matrix ? s.matrix.offset[c] : s.scale.offset[c]) + 0.5f;
        }
        if (s.kind == Kind::Luts)
            for (int k = 0; k < 256; ++k) {
                v.lut[i][0][k] = s.luts.r[k];
                v.lut[i][1][k] = s.luts.g[k];
                v.lut[i][2][k] = s.luts.b[k];
            }
    }
    return v;
}

// Clamps to 0…255 and rounds down, as truncByte does; NaN becomes 0.
VIVIDRA_TARGET_AVX2 VIVIDRA_INLINE __m256 levelsAvx2(__m256 v) {
    v = _mm256_max_ps(v, _mm256_setzero_ps());
    v = _mm256_min_ps(v, _mm256_set1_ps(255.0f));
    return _mm256_round_ps(v, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
}

// Eight pixels in each of `N` vectors through every stage; independent
// vectors side by side hide the latency of each stage's chain.
template <class Layout, int N>
VIVIDRA_TARGET_AVX2 VIVIDRA_INLINE void stagesAvx2(__m256i (&px)[N], const VectorStages& st) {
    const __m256i byte = _mm256_set1_epi32(0xff);
    __m256 c[N][3];
    for (int j = 0; j < N; ++j) {
        c[j][0] =
            _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(px[j], 8 * Layout::r), byte));
        c[j][1] =
            _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(px[j], 8 * Layout::g), byte));
        c[j][2] =
            _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(px[j], 8 * Layout::b), byte));
    }
    for (int i = 0; i < st.count; ++i) {
        const float(&m)[3][3] = st.m[i];
        const float(&o)[3] = st.offset[i];
        switch (st.kind[i]) {
        case Kind::Scale:
            for (int k = 0; k < 3; ++k) {
                const __m256 gain = _mm256_set1_ps(m[k][k]), offset = _mm256_set1_ps(o[k]);
                for (int j = 0; j < N; ++j)
                    c[j][k] = levelsAvx2(_mm256_fmadd_ps(c[j][k], gain, offset));
            }
            break;
        case Kind::Matrix: {
            __m256 n[N][3];
            for (int k = 0; k < 3; ++k) {
                const __m256 m0 = _mm256_set1_ps(m[k][0]), m1 = _mm256_set1_ps(m[k][1]),
                             m2 = _mm256_set1_ps(m[k][2]), offset = _mm256_set1_ps(o[k]);
                for (int j = 0; j < N; ++j) {
                    const __m256 t = _mm256_fmadd_ps(c[j][0], m0, offset);
                    n[j][k] =
                        levelsAvx2(_mm256_fmadd_ps(c[j][2], m2, _mm256_fmadd_ps(c[j][1], m1, t)));
                }
            }
            for (int j = 0; j < N; ++j)
                for (int k = 0; k < 3; ++k)
                    c[j][k] = n[j][k];
            break;
        }
        case Kind::Luts:
            for (int j = 0; j < N; ++j)
                for (int k = 0; k < 3; ++k)
                    c[j][k] = _mm256_i32gather_ps(st.lut[i][k], _mm256_cvttps_epi32(c[j][k]), 4);
            break;
        }
    }
    for (int j = 0; j < N; ++j) {
        __m256i out = _mm256_andnot_si256(_mm256_set1_epi32(0x00ffffff), px[j]);
        out = _mm256_or_si256(out, _mm256_slli_epi32(_mm256_cvttps_epi32(c[j][0]), 8 * Layout::r));
        out = _mm256_or_si256(out, _mm256_slli_epi32(_mm256_cvttps_epi32(c[j][1]), 8 * Layout::g));
        px[j] =
            _mm256_or_si256(out, _mm256_slli_epi32(_mm256_cvttps_epi32(c[j][2]), 8 * Layout::b));
    }
}

template <class Layout>
VIVIDRA_TARGET_AVX2 void stagesRowAvx2(const std::uint8_t* s, std::uint8_t* d, int width,
                                       const VectorStages& st) {
    constexpr int kGroups = 4;
    int x = 0;
    for (; x + 8 * kGroups <= width; x += 8 * kGroups) {
        const auto* from = reinterpret_cast<const __m256i*>(s + 4 * std::ptrdiff_t{x});
        auto* to = reinterpret_cast<__m256i*>(d + 4 * std::ptrdiff_t{x});
        __m256i px[kGroups];
        for (int j = 0; j < kGroups; ++j)
            px[j] = _mm256_loadu_si256(from + j);
        stagesAvx2<Layout>(px, st);
        for (int j = 0; j < kGroups; ++j)
            _mm256_storeu_si256(to + j, px[j]);
    }
    for (; x < width; x += 8) {
        // The last few pixels go through a full vector of scratch.
        alignas(32) std::uint8_t tail[32] = {};
        const std::size_t bytes = 4 * static_cast<std::size_t>(std::min(8, width - x));
        std::memcpy(tail, s + 4 * std::ptrdiff_t{x}, bytes);
        __m256i px[1] = {_mm256_load_si256(reinterpret_cast<const __m256i*>(tail))};
        stagesAvx2<Layout>(px, st);
        _mm256_store_si256(reinterpret_cast<__m256i*>(tail), px[0]);
        std::memcpy(d + 4 * std::ptrdiff_t{x}, tail, bytes);
    }
}

bool runVectorStages(const ConstImageView& in, const ImageView& out, const ColourStage* stages,
                     int count) {
    const VectorStages st = vectorStages(stages, count);
    return withLayout(in.order, [&](auto layout) {
        using L = decltype(layout);
        return parallelRows(in.height, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y)
                stagesRowAvx2<L>(in.row(y), out.row(y), in.width, st);
        });
    });
}
#endif

// Up to kMaxStages stages from `in` to `out`, in the input's channel order.
bool runStages(const ConstImageView& in, const ImageView& out, const ColourStage* stages,
               int count) {
#if VIVIDRA_HAVE_DISPATCH
    // Byte permutes look tables up fastest; without them, arithmetic in
    // registers beats table reads, which go one byte at a time.
    const bool vector = isa() != Isa::Base && !haveVbmi();
#else
    const bool vector = false;
#endif
    ColourStage folded[kMaxStages];
    const int n = foldTables(stages, count, vector, folded);
#if VIVIDRA_HAVE_DISPATCH
    // A lone table reads bytes faster than it gathers them.
    if (vector && !(n == 1 && folded[0].kind == Kind::Luts))
        return runVectorStages(in, out, folded, n);
#endif
    return runTableStages(in, out, folded, n);
}

} // namespace

bool applyColourStages(const ConstImageView& in, const ImageView& out, const ColourStage* stages,
                       int count) {
    if (!sameSize(in, out))
        return false;
    if (count <= 0)
        return copyPixels(in, out);
    // Longer chains run in passes, the later ones in place in the input's order.
    ImageView working = out;
    working.order = in.order;
    ConstImageView from = in;
    for (int first = 0; first < count; first += kMaxStages) {
        if (!runStages(from, working, stages + first, std::min(kMaxStages, count - first)))
            return false;
        from = working;
    }
    return matchOutputOrder(in, out);
}

bool applyColourMatrix(const ConstImageView& in, const ImageView& out, const ColourMatrix& cm) {
    ColourStage stage{};
    stage.kind = Kind::Matrix;
    stage.matrix = cm;
    return applyColourStages(in, out, &stage, 1);
}

bool applyChannelLuts(const ConstImageView& in, const ImageView& out, const ChannelLuts& luts) {
    ColourStage stage{};
    stage.luts = luts;
    return applyColourStages(in, out, &stage, 1);
}

bool applyChannelScale(const ConstImageView& in, const ImageView& out, const ChannelScale& scale) {
    ColourStage stage{};
    stage.kind = Kind::Scale;
    stage.scale = scale;
    return applyColourStages(in, out, &stage, 1);
}

PixelBuffer::PixelBuffer(std::size_t bytes) noexcept
    : data_(allocatePixels(bytes)), bytes_(bytes) {}

PixelBuffer::~PixelBuffer() {
    if (data_)
        releasePixels(data_, bytes_);
}

} // namespace vividra::fx::detail
