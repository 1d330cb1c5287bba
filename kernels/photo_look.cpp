#include "kernels/photo_look.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>

#include "kernels/parallel.h"
#include "kernels/pixel_ops.h"

#if VIVIDRA_HAVE_DISPATCH
#include <immintrin.h>
#endif

namespace vividra::fx {

namespace {

// What each look does to a colour. The table below is the one place the looks
// are defined; everything else turns a recipe into a lookup table and applies it.
struct Recipe {
    bool mono;            // black and white from `mix`
    float mix[3];         // channel weights for black and white
    float whiteBalance;   // > 0 warmer, < 0 cooler
    float saturation;     // overall colourfulness
    float warmSaturation; // extra for reds, oranges, yellows
    float coolSaturation; // extra for cyans and blues
    float inputBlack;     // input level that becomes black
    float midtones;       // power on the tone curve; < 1 brightens
    float contrast;       // S-curve steepness; 0 leaves the curve straight
    float outputBlack;    // output floor: lifted blacks fade the picture
    float outputWhite;    // output ceiling
    float shadowTint[3];  // added in the shadows
    float highlightTint[3];
};

constexpr std::array<Recipe, 8> kRecipes = {{
    // Mono: soft black and white, blacks and whites held back.
    {true, {0.30f, 0.59f, 0.11f}, 0, 1, 0, 0, 0.00f, 0.95f, 0.0f, 0.07f, 0.92f, {}, {}},
    // Tonal: black and white with the tonal range left as it is.
    {true, {0.25f, 0.65f, 0.10f}, 0, 1, 0, 0, 0.00f, 1.00f, 1.0f, 0.00f, 1.00f, {}, {}},
    // Noir: reds lightened, hard S-curve and crushed blacks.
    {true, {0.45f, 0.45f, 0.10f}, 0, 1, 0, 0, 0.08f, 1.10f, 8.0f, 0.00f, 1.00f, {}, {}},
    // Chrome: vivid film colour, punchy curve, cool shadows and warm highlights.
    {false,
     {},
     0.05f,
     1.30f,
     0.15f,
     0.10f,
     0.02f,
     1.00f,
     5.0f,
     0.00f,
     1.00f,
     {-0.02f, 0.00f, 0.03f},
     {0.03f, 0.015f, -0.02f}},
    // Fade: washed-out colour over lifted, slightly blue blacks.
    {false,
     {},
     0.00f,
     0.60f,
     0.00f,
     0.00f,
     0.00f,
     0.95f,
     -1.0f,
     0.13f,
     0.95f,
     {0.00f, 0.01f, 0.03f},
     {}},
    // Instant: warm, pale and faded, creamy highlights.
    {false,
     {},
     0.90f,
     0.70f,
     0.10f,
     -0.20f,
     0.00f,
     0.90f,
     1.0f,
     0.08f,
     0.95f,
     {0.03f, 0.00f, 0.02f},
     {0.05f, 0.03f, -0.05f}},
    // Process: flatter, cool cast, blues and cyans pushed.
    {false,
     {},
     -0.55f,
     0.95f,
     -0.30f,
     0.60f,
     0.00f,
     1.00f,
     -0.5f,
     0.05f,
     0.96f,
     {-0.02f, 0.03f, 0.06f},
     {-0.01f, 0.01f, 0.03f}},
    // Transfer: brighter and warm, reds and oranges pushed.
    {false,
     {},
     0.35f,
     1.05f,
     0.35f,
     -0.10f,
     0.00f,
     0.82f,
     1.5f,
     0.02f,
     1.00f,
     {0.02f, 0.00f, -0.01f},
     {0.03f, 0.01f, -0.03f}},
}};

constexpr std::array<std::string_view, 8> kNames = {"Mono", "Chrome",  "Noir",    "Tonal",
                                                    "Fade", "Instant", "Process", "Transfer"};
constexpr std::array<Look, 8> kNamed = {Look::Mono, Look::Chrome,  Look::Noir,    Look::Tonal,
                                        Look::Fade, Look::Instant, Look::Process, Look::Transfer};

float clamp01(float v) {
    return std::clamp(v, 0.0f, 1.0f);
}

float sigmoid(float x, float k) {
    return 1.0f / (1.0f + std::exp(-k * (x - 0.5f)));
}

// Levels, midtone power, then an S-curve (k > 0) or its flattening (k < 0),
// finally squeezed into the output range.
float tone(const Recipe& r, float v) {
    v = clamp01((v - r.inputBlack) / (1.0f - r.inputBlack));
    v = std::pow(v, r.midtones);
    if (r.contrast > 0.0f) {
        const float lo = sigmoid(0.0f, r.contrast), hi = sigmoid(1.0f, r.contrast);
        v = (sigmoid(v, r.contrast) - lo) / (hi - lo);
    } else if (r.contrast < 0.0f) {
        const float s = v * v * (3.0f - 2.0f * v);
        v = v + r.contrast * 0.5f * (s - v);
    }
    return r.outputBlack + (r.outputWhite - r.outputBlack) * clamp01(v);
}

// 0 … 1 closeness of hue angle `h` to `centre`, both in degrees.
float hueWeight(float h, float centre, float halfWidth) {
    float d = std::abs(h - centre);
    d = std::min(d, 360.0f - d);
    const float t = clamp01(1.0f - d / halfWidth);
    return t * t * (3.0f - 2.0f * t);
}

std::array<float, 3> evaluate(const Recipe& r, float red, float green, float blue) {
    if (r.mono) {
        const float l = tone(r, r.mix[0] * red + r.mix[1] * green + r.mix[2] * blue);
        return {l, l, l};
    }
    float c[3] = {red * (1.0f + 0.08f * r.whiteBalance), green * (1.0f + 0.01f * r.whiteBalance),
                  blue * (1.0f - 0.10f * r.whiteBalance)};
    const float hi = std::max({c[0], c[1], c[2]}), lo = std::min({c[0], c[1], c[2]});
    const float chroma = hi - lo;
    float h = 0.0f;
    if (chroma > 1e-6f) {
        if (hi == c[0])
            h = 60.0f * std::fmod((c[1] - c[2]) / chroma + 6.0f, 6.0f);
        else if (hi == c[1])
            h = 60.0f * ((c[2] - c[0]) / chroma + 2.0f);
        else
            h = 60.0f * ((c[0] - c[1]) / chroma + 4.0f);
    }
    const float sat = std::max(0.0f, r.saturation + r.warmSaturation * hueWeight(h, 30.0f, 60.0f) +
                                         r.coolSaturation * hueWeight(h, 205.0f, 70.0f));
    const float luma = 0.2125f * c[0] + 0.7154f * c[1] + 0.0721f * c[2];
    std::array<float, 3> out;
    for (int i = 0; i < 3; ++i) {
        const float v = tone(r, clamp01(luma + sat * (c[i] - luma)));
        const float shade = (1.0f - v) * (1.0f - v), light = v * v;
        out[i] = clamp01(v + r.shadowTint[i] * shade + r.highlightTint[i] * light);
    }
    return out;
}

constexpr int kGrid = 33;
// Each axis has one cell of zeros past the end: the vector paths may put a
// channel at 255 in cell 32 with fraction 0, whose far corners get weight 0.
constexpr int kSide = kGrid + 1;

// Lattice points hold the whole colour in one word, ten bits a channel, so a
// pixel needs one load per tetrahedron corner; equal scales keep grey grey.
// Blue sits in bits 0-9, green in 12-21 and red in 22-31: shifted left by 6
// (blue) or 10 (green), or as it is (red), each channel tops a 16-bit half,
// which is where the vector paths' high-half multiply wants it.
struct Table {
    alignas(64) std::uint32_t cells[kSide * kSide * kSide]; // [b][g][r]
};

constexpr float kScale = 1020.0f;
constexpr int kRedShift = 22, kGreenShift = 12;

std::uint32_t pack(const std::array<float, 3>& c) {
    const auto q = [](float v) {
        return static_cast<std::uint32_t>(std::lround(clamp01(v) * kScale));
    };
    return q(c[0]) << kRedShift | q(c[1]) << kGreenShift | q(c[2]);
}

// Static storage: building a table allocates nothing, so it cannot fail.
const Table& table(Look look) {
    static std::once_flag once[8];
    static Table tables[8];
    const auto i = static_cast<std::size_t>(look);
    std::call_once(once[i], [i] {
        Table& t = tables[i];
        constexpr float step = 1.0f / (kGrid - 1);
        for (int b = 0; b < kGrid; ++b)
            for (int g = 0; g < kGrid; ++g)
                for (int r = 0; r < kGrid; ++r)
                    t.cells[(b * kSide + g) * kSide + r] =
                        pack(evaluate(kRecipes[i], r * step, g * step, b * step));
    });
    return tables[i];
}

// Tetrahedral interpolation: the cube around the colour splits into six
// tetrahedra along its grey diagonal; the colour's fractions, sorted, pick one
// and weight its four corners. On the baseline path pixels go in chunks:
// corners and weights in vectors, the table reads as plain loads, then the
// blend in vectors again.
constexpr int kChunk = 256;

struct Corners {
    alignas(64) std::int32_t index[4][kChunk];
    alignas(64) float weight[4][kChunk];
    alignas(64) std::uint32_t cell[4][kChunk];
};

template <class Layout>
VIVIDRA_INLINE void findCorners(const std::uint8_t* __restrict s, int n, Corners& c) {
    constexpr int dg = kSide, db = kSide * kSide, far = 1 + dg + db;
    constexpr float toGrid = (kGrid - 1) / 255.0f;
    for (int x = 0; x < n; ++x) {
        const std::uint32_t p = detail::loadPixel(s, x);
        const float pr = static_cast<float>(detail::channel<Layout::r>(p)) * toGrid;
        const float pg = static_cast<float>(detail::channel<Layout::g>(p)) * toGrid;
        const float pb = static_cast<float>(detail::channel<Layout::b>(p)) * toGrid;
        const int ir = std::min(static_cast<int>(pr), kGrid - 2);
        const int ig = std::min(static_cast<int>(pg), kGrid - 2);
        const int ib = std::min(static_cast<int>(pb), kGrid - 2);
        const float fr = pr - static_cast<float>(ir), fg = pg - static_cast<float>(ig),
                    fb = pb - static_cast<float>(ib);
        const int base = ib * db + ig * dg + ir;
        // Where fractions tie, the corner they disagree on gets zero weight.
        const int first = (fr >= fg && fr >= fb) ? 1 : (fg >= fb ? dg : db);
        const int last = (fr <= fg && fr <= fb) ? 1 : (fg <= fb ? dg : db);
        const float hi = std::max(fr, std::max(fg, fb)), lo = std::min(fr, std::min(fg, fb));
        const float mid = fr + fg + fb - hi - lo;
        c.index[0][x] = base;
        c.index[1][x] = base + first;
        c.index[2][x] = base + far - last;
        c.index[3][x] = base + far;
        c.weight[0][x] = 1.0f - hi;
        c.weight[1][x] = hi - mid;
        c.weight[2][x] = mid - lo;
        c.weight[3][x] = lo;
    }
}

// Plain loads on purpose: the vectoriser would turn them into gathers.
__attribute__((noinline, optimize("no-tree-vectorize"))) void
readCorners(const std::uint32_t* __restrict cells, int n, Corners& c) {
    for (int x = 0; x < n; ++x) {
        c.cell[0][x] = cells[c.index[0][x]];
        c.cell[1][x] = cells[c.index[1][x]];
        c.cell[2][x] = cells[c.index[2][x]];
        c.cell[3][x] = cells[c.index[3][x]];
    }
}

template <class Layout>
VIVIDRA_INLINE void blendCorners(const std::uint8_t* s, std::uint8_t* d, int n, const Corners& c) {
    const auto mix = [&](int x, int shift, std::uint32_t mask) {
        float v = 0.0f;
        for (int k = 0; k < 4; ++k)
            v += c.weight[k][x] * static_cast<float>((c.cell[k][x] >> shift) & mask);
        return v;
    };
    for (int x = 0; x < n; ++x) {
        const std::uint32_t alpha = detail::loadPixel(s, x) & 0xff000000u;
        const float r = mix(x, kRedShift, 1023u) * (255.0f / kScale);
        const float g = mix(x, kGreenShift, 1023u) * (255.0f / kScale);
        const float b = mix(x, 0, 1023u) * (255.0f / kScale);
        detail::storePixel(d, x,
                           alpha | detail::place<Layout::r>(detail::roundByte(r)) |
                               detail::place<Layout::g>(detail::roundByte(g)) |
                               detail::place<Layout::b>(detail::roundByte(b)));
    }
}

template <class Layout>
VIVIDRA_INLINE void lookRow(const std::uint8_t* s, std::uint8_t* d, int w,
                            const std::uint32_t* cells, Corners& c) {
    for (int x0 = 0; x0 < w; x0 += kChunk) {
        const int n = std::min(kChunk, w - x0);
        const std::ptrdiff_t at = 4 * std::ptrdiff_t{x0};
        findCorners<Layout>(s + at, n, c);
        readCorners(cells, n, c);
        blendCorners<Layout>(s + at, d + at, n, c);
    }
}
#if VIVIDRA_HAVE_DISPATCH
// The vector paths: sixteen pixels at a time. Corners and weights are found
// in 16-bit lanes, the table is read with plain loads into vectors (on Zen 4
// an eight-way gather costs more than eight loads and inserts), and the blend
// multiplies two channels at once, each in its own 16-bit half.

// One channel's byte at `position` of sixteen pixels, in 16-bit lanes.
VIVIDRA_TARGET_AVX2 VIVIDRA_INLINE __m256i channel16(__m256i a, __m256i b, int position) {
    const __m256i byte = _mm256_set1_epi32(0xff);
    return _mm256_packus_epi32(_mm256_and_si256(_mm256_srli_epi32(a, 8 * position), byte),
                               _mm256_and_si256(_mm256_srli_epi32(b, 8 * position), byte));
}

// Grid cell and position within it: v·32/255 as a whole part and a fraction
// in 1/256ths. 8225/65536 is 32/255 close enough that the product's high half
// is the cell for every byte, and its low half the fraction; 255 lands in
// cell 32 with fraction 0. The fraction comes scaled by 128, as the blend's
// multiplier wants it.
VIVIDRA_TARGET_AVX2 VIVIDRA_INLINE void gridPosition(__m256i v, __m256i& cell, __m256i& fraction) {
    const __m256i k = _mm256_set1_epi16(8225);
    cell = _mm256_mulhi_epu16(v, k);
    fraction =
        _mm256_and_si256(_mm256_srli_epi16(_mm256_mullo_epi16(v, k), 1), _mm256_set1_epi16(0x7f80));
}

// Eight cells from the table, for the pixels of one half in the packing's lane
// order.
VIVIDRA_TARGET_AVX2 VIVIDRA_INLINE __m256i readCells(const std::uint32_t* cells,
                                                     const std::uint16_t* i) {
    const auto cell = [&](int k) { return static_cast<int>(cells[i[k]]); };
    return _mm256_setr_epi32(cell(0), cell(1), cell(2), cell(3), cell(8), cell(9), cell(10),
                             cell(11));
}

template <class Layout>
VIVIDRA_TARGET_AVX2 VIVIDRA_INLINE void look16(__m256i (&px)[2], const std::uint32_t* cells) {
    constexpr int dg = kSide, db = kSide * kSide, far = 1 + dg + db;
    __m256i at[3], f[3];
    gridPosition(channel16(px[0], px[1], Layout::r), at[0], f[0]);
    gridPosition(channel16(px[0], px[1], Layout::g), at[1], f[1]);
    gridPosition(channel16(px[0], px[1], Layout::b), at[2], f[2]);
    const __m256i base =
        _mm256_add_epi16(_mm256_add_epi16(at[0], _mm256_mullo_epi16(at[1], _mm256_set1_epi16(dg))),
                         _mm256_mullo_epi16(at[2], _mm256_set1_epi16(db)));
    const __m256i one = _mm256_set1_epi16(1), stepG = _mm256_set1_epi16(dg),
                  stepB = _mm256_set1_epi16(db);
    // As in findCorners; where fractions tie, the corner they disagree on gets zero weight.
    const __m256i first = _mm256_blendv_epi8(
        one, _mm256_blendv_epi8(stepG, stepB, _mm256_cmpgt_epi16(f[2], f[1])),
        _mm256_or_si256(_mm256_cmpgt_epi16(f[1], f[0]), _mm256_cmpgt_epi16(f[2], f[0])));
    const __m256i last = _mm256_blendv_epi8(
        one, _mm256_blendv_epi8(stepG, stepB, _mm256_cmpgt_epi16(f[1], f[2])),
        _mm256_or_si256(_mm256_cmpgt_epi16(f[0], f[1]), _mm256_cmpgt_epi16(f[0], f[2])));
    const __m256i hi = _mm256_max_epi16(f[0], _mm256_max_epi16(f[1], f[2]));
    const __m256i lo = _mm256_min_epi16(f[0], _mm256_min_epi16(f[1], f[2]));
    const __m256i mid = _mm256_sub_epi16(
        _mm256_sub_epi16(_mm256_add_epi16(_mm256_add_epi16(f[0], f[1]), f[2]), hi), lo);
    alignas(32) std::uint16_t index[4][16];
    _mm256_store_si256(reinterpret_cast<__m256i*>(index[0]), base);
    _mm256_store_si256(reinterpret_cast<__m256i*>(index[1]), _mm256_add_epi16(base, first));
    _mm256_store_si256(reinterpret_cast<__m256i*>(index[2]),
                       _mm256_sub_epi16(_mm256_add_epi16(base, _mm256_set1_epi16(far)), last));
    _mm256_store_si256(reinterpret_cast<__m256i*>(index[3]),
                       _mm256_add_epi16(base, _mm256_set1_epi16(far)));
    // Weights in 1/256ths scaled by 128, so 0x8000 is the whole.
    const __m256i weight[4] = {_mm256_sub_epi16(_mm256_set1_epi16(-0x8000), hi),
                               _mm256_sub_epi16(hi, mid), _mm256_sub_epi16(mid, lo), lo};
    for (int half = 0; half < 2; ++half) {
        // Packing put pixels 0-3 and 8-11 in the low half of each 128-bit lane,
        // 4-7 and 12-15 in the high half.
        // Red and blue add up in the halves of one word, green in the high half
        // of another. A level l in the top ten bits of a half times the weight
        // w·128 leaves l·w/8 in the high half: 128 steps an output level. The
        // bits below a level add at most a quarter level to red and a sixteenth
        // to green, so those round from a little lower than half (64); every
        // channel gains 2 for the four products' rounding down.
        __m256i redBlue = _mm256_setzero_si256(), green = _mm256_setzero_si256();
        for (int c = 0; c < 4; ++c) {
            const __m256i cell = readCells(cells, index[c] + 4 * half);
            const __m256i w = half ? _mm256_unpackhi_epi16(weight[c], weight[c])
                                   : _mm256_unpacklo_epi16(weight[c], weight[c]);
            redBlue = _mm256_add_epi16(
                redBlue,
                _mm256_mulhi_epu16(_mm256_blend_epi16(_mm256_slli_epi32(cell, 6), cell, 0xaa), w));
            green = _mm256_add_epi16(green, _mm256_mulhi_epu16(_mm256_slli_epi32(cell, 10), w));
        }
        redBlue = _mm256_srli_epi16(_mm256_add_epi16(redBlue, _mm256_set1_epi32(50 << 16 | 66)), 7);
        green = _mm256_and_si256(
            _mm256_srli_epi32(_mm256_add_epi32(green, _mm256_set1_epi32(62 << 16)), 15),
            _mm256_set1_epi32(0xff00));
        // The blend leaves red in byte 2, where BGRA has it.
        if constexpr (Layout::r == 0)
            redBlue = _mm256_shuffle_epi8(
                redBlue, _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15, 2,
                                          1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15));
        px[half] = _mm256_or_si256(_mm256_or_si256(redBlue, green),
                                   _mm256_andnot_si256(_mm256_set1_epi32(0x00ffffff), px[half]));
    }
}

template <class Layout>
VIVIDRA_TARGET_AVX2 VIVIDRA_INLINE void lookRow16(const std::uint8_t* s, std::uint8_t* d, int w,
                                                  const std::uint32_t* cells) {
    int x = 0;
    for (; x + 16 <= w; x += 16) {
        const auto* from = reinterpret_cast<const __m256i*>(s + 4 * std::ptrdiff_t{x});
        auto* to = reinterpret_cast<__m256i*>(d + 4 * std::ptrdiff_t{x});
        __m256i px[2] = {_mm256_loadu_si256(from), _mm256_loadu_si256(from + 1)};
        look16<Layout>(px, cells);
        _mm256_storeu_si256(to, px[0]);
        _mm256_storeu_si256(to + 1, px[1]);
    }
    if (x < w) {
        // The last few pixels go through sixteen pixels of scratch.
        alignas(32) std::uint8_t tail[64] = {};
        const std::size_t bytes = 4 * static_cast<std::size_t>(w - x);
        std::memcpy(tail, s + 4 * std::ptrdiff_t{x}, bytes);
        auto* t = reinterpret_cast<__m256i*>(tail);
        __m256i px[2] = {_mm256_load_si256(t), _mm256_load_si256(t + 1)};
        look16<Layout>(px, cells);
        _mm256_store_si256(t, px[0]);
        _mm256_store_si256(t + 1, px[1]);
        std::memcpy(d + 4 * std::ptrdiff_t{x}, tail, bytes);
    }
}

template <class Layout>
VIVIDRA_TARGET_AVX2 void lookRowAvx2(const std::uint8_t* s, std::uint8_t* d, int w,
                                     const std::uint32_t* cells) {
    lookRow16<Layout>(s, d, w, cells);
}
// The same code with the wider machine's 32 registers.
template <class Layout>
VIVIDRA_TARGET_AVX512 void lookRowAvx512(const std::uint8_t* s, std::uint8_t* d, int w,
                                         const std::uint32_t* cells) {
    lookRow16<Layout>(s, d, w, cells);
}
#endif

// Black and white looks are a tone curve over one weighted sum, so a 1-D
// table over that sum replaces the 3-D one: fewer reads, no interpolation.
// The table holds the finished grey pixel, so a read needs only the alpha added.
constexpr int kMonoSteps = 4096;

struct MonoCurve {
    std::uint32_t weight[3]; // 0…255 channels to 0…kMonoSteps−1, in 1/256 steps
    std::uint32_t grey[kMonoSteps];
};

const MonoCurve& monoCurve(std::size_t i) {
    static std::once_flag once[8];
    static MonoCurve curves[8];
    std::call_once(once[i], [i] {
        const Recipe& r = kRecipes[i];
        MonoCurve& c = curves[i];
        for (int k = 0; k < 3; ++k)
            c.weight[k] = static_cast<std::uint32_t>(
                std::lround(r.mix[k] * (kMonoSteps - 1) / 255.0f * 256.0f));
        for (int v = 0; v < kMonoSteps; ++v) {
            const std::uint32_t level =
                detail::roundByte(tone(r, static_cast<float>(v) / (kMonoSteps - 1)) * 255.0f);
            c.grey[v] = level * 0x010101u;
        }
    });
    return curves[i];
}

template <class Layout>
void monoRow(const std::uint8_t* s, std::uint8_t* d, int w, const MonoCurve* c) {
    for (int x = 0; x < w; ++x) {
        const std::uint32_t p = detail::loadPixel(s, x);
        const std::uint32_t sum = (detail::channel<Layout::r>(p) * c->weight[0] +
                                   detail::channel<Layout::g>(p) * c->weight[1] +
                                   detail::channel<Layout::b>(p) * c->weight[2] + 128) >>
                                  8;
        detail::storePixel(
            d, x, (p & 0xff000000u) | c->grey[std::min<std::uint32_t>(sum, kMonoSteps - 1)]);
    }
}
#if VIVIDRA_HAVE_DISPATCH
// The same sum in vectors (the byte lookup keeps the compiler from
// vectorising the loop above): channels at byte positions 0 and 2 multiply in
// one madd, position 1 in another with the alpha beside it weighted 0, and one
// gather reads eight grey pixels.
template <class Layout>
VIVIDRA_TARGET_AVX2 VIVIDRA_INLINE __m256i mono8(__m256i p, const MonoCurve* c) {
    std::uint32_t w[4] = {};
    w[Layout::r] = c->weight[0];
    w[Layout::g] = c->weight[1];
    w[Layout::b] = c->weight[2];
    const __m256i even = _mm256_set1_epi32(static_cast<int>(w[0] | w[2] << 16));
    const __m256i odd = _mm256_set1_epi32(static_cast<int>(w[1]));
    const __m256i sum = _mm256_add_epi32(
        _mm256_madd_epi16(_mm256_and_si256(p, _mm256_set1_epi32(0x00ff00ff)), even),
        _mm256_madd_epi16(_mm256_srli_epi16(p, 8), odd));
    const __m256i at =
        _mm256_min_epu32(_mm256_srli_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(128)), 8),
                         _mm256_set1_epi32(kMonoSteps - 1));
    const __m256i grey = _mm256_i32gather_epi32(reinterpret_cast<const int*>(c->grey), at, 4);
    return _mm256_or_si256(grey, _mm256_andnot_si256(_mm256_set1_epi32(0x00ffffff), p));
}

template <class Layout>
VIVIDRA_TARGET_AVX2 VIVIDRA_INLINE void monoRow8(const std::uint8_t* s, std::uint8_t* d, int w,
                                                 const MonoCurve* c) {
    int x = 0;
    for (; x + 8 <= w; x += 8) {
        const __m256i p =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * std::ptrdiff_t{x}));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * std::ptrdiff_t{x}),
                            mono8<Layout>(p, c));
    }
    if (x < w) {
        alignas(32) std::uint8_t tail[32] = {};
        const std::size_t bytes = 4 * static_cast<std::size_t>(w - x);
        std::memcpy(tail, s + 4 * std::ptrdiff_t{x}, bytes);
        auto* t = reinterpret_cast<__m256i*>(tail);
        _mm256_store_si256(t, mono8<Layout>(_mm256_load_si256(t), c));
        std::memcpy(d + 4 * std::ptrdiff_t{x}, tail, bytes);
    }
}

template <class Layout>
VIVIDRA_TARGET_AVX2 void monoRowAvx2(const std::uint8_t* s, std::uint8_t* d, int w,
                                     const MonoCurve* c) {
    monoRow8<Layout>(s, d, w, c);
}
template <class Layout>
VIVIDRA_TARGET_AVX512 void monoRowAvx512(const std::uint8_t* s, std::uint8_t* d, int w,
                                         const MonoCurve* c) {
    monoRow8<Layout>(s, d, w, c);
}
#endif

} // namespace

std::optional<Look> lookFromName(std::string_view name) {
    for (std::size_t i = 0; i < kNames.size(); ++i)
        if (kNames[i] == name)
            return kNamed[i];
    return std::nullopt;
}

bool photoLook(const ConstImageView& in, const ImageView& out, Look look) {
    if (!detail::sameSize(in, out))
        return false;
    const auto index = static_cast<std::size_t>(look);
    if (kRecipes[index].mono) {
        const MonoCurve& c = monoCurve(index);
        // Grey pixels read the same in either channel order: no reordering after.
        return detail::withLayout(in.order, [&](auto layout) {
            using L = decltype(layout);
            return parallelRows(in.height, [&](int y0, int y1) {
#if VIVIDRA_HAVE_DISPATCH
                if (detail::isa() == detail::Isa::Avx512) {
                    for (int y = y0; y < y1; ++y)
                        monoRowAvx512<L>(in.row(y), out.row(y), in.width, &c);
                    return;
                }
                if (detail::isa() == detail::Isa::Avx2) {
                    for (int y = y0; y < y1; ++y)
                        monoRowAvx2<L>(in.row(y), out.row(y), in.width, &c);
                    return;
                }
#endif
                for (int y = y0; y < y1; ++y)
                    monoRow<L>(in.row(y), out.row(y), in.width, &c);
            });
        });
    }
    const Table& t = table(look);
    const bool done = detail::withLayout(in.order, [&](auto layout) {
        using L = decltype(layout);
        return parallelRows(in.height, [&](int y0, int y1) {
#if VIVIDRA_HAVE_DISPATCH
            if (detail::isa() == detail::Isa::Avx512) {
                for (int y = y0; y < y1; ++y)
                    lookRowAvx512<L>(in.row(y), out.row(y), in.width, t.cells);
                return;
            }
            if (detail::isa() == detail::Isa::Avx2) {
                for (int y = y0; y < y1; ++y)
                    lookRowAvx2<L>(in.row(y), out.row(y), in.width, t.cells);
                return;
            }
#endif
            Corners corners; // 12 KB on the stack, so nothing to allocate
            for (int y = y0; y < y1; ++y)
                lookRow<L>(in.row(y), out.row(y), in.width, t.cells, corners);
        });
    });
    return done && detail::matchOutputOrder(in, out);
}

} // namespace vividra::fx
