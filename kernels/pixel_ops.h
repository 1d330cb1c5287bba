#pragma once

// Helpers shared by the kernels; not part of the public interface.

#include <cstddef>
#include <cstdint>
#include <utility>

#include "kernels/image_view.h"

// Hot loops are compiled three times and picked at run time, so the default
// build still runs on any x86-64 while newer machines get wider vectors.
#if defined(__x86_64__) && defined(__GNUC__)
#define VIVIDRA_TARGET_AVX512                                                                      \
    __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,avx2,fma,bmi,bmi2,f16c")))
#define VIVIDRA_TARGET_AVX2 __attribute__((target("avx2,fma,bmi,bmi2,f16c")))
#define VIVIDRA_HAVE_DISPATCH 1
#else
#define VIVIDRA_TARGET_AVX512
#define VIVIDRA_TARGET_AVX2
#define VIVIDRA_HAVE_DISPATCH 0
#endif
#define VIVIDRA_INLINE inline __attribute__((always_inline))

namespace vividra::fx::detail {

// Ordered: each path needs the instructions of the ones before it.
enum class Isa { Base, Avx2, Avx512 };
// The path the kernels take: the machine's best unless VIVIDRA_ISA or useIsa
// holds them to an older one.
Isa isa();
// Holds every kernel to `path`, or to the machine's best if it lacks `path`;
// returns the path taken. For tests and timing: not for use while kernels run.
Isa useIsa(Isa path);

// Byte positions of the colour channels inside one pixel.
struct RgbaLayout {
    static constexpr int r = 0, g = 1, b = 2, a = 3;
};
struct BgraLayout {
    static constexpr int r = 2, g = 1, b = 0, a = 3;
};

template <class F> decltype(auto) withLayout(ChannelOrder order, F&& f) {
    if (order == ChannelOrder::BGRA)
        return std::forward<F>(f)(BgraLayout{});
    return std::forward<F>(f)(RgbaLayout{});
}

// Float to a byte, clamped to 0…255 and rounded down; NaN becomes 0.
VIVIDRA_INLINE std::uint8_t truncByte(float v) {
    v = v > 0.0f ? v : 0.0f;
    v = v < 255.0f ? v : 255.0f;
    return static_cast<std::uint8_t>(static_cast<int>(v));
}

// 0…255 float to a byte, rounding half up; NaN becomes 0.
VIVIDRA_INLINE std::uint8_t roundByte(float v) {
    return truncByte(v + 0.5f);
}

// Whole pixels as little-endian words: byte position k sits at bits 8k. Loops
// over words vectorise far better than loops over interleaved bytes.
VIVIDRA_INLINE std::uint32_t loadPixel(const std::uint8_t* row, int x) {
    std::uint32_t p;
    __builtin_memcpy(&p, row + 4 * std::ptrdiff_t{x}, 4);
    return p;
}
VIVIDRA_INLINE void storePixel(std::uint8_t* row, int x, std::uint32_t p) {
    __builtin_memcpy(row + 4 * std::ptrdiff_t{x}, &p, 4);
}
template <int Position> VIVIDRA_INLINE std::uint32_t channel(std::uint32_t p) {
    return (p >> (8 * Position)) & 0xffu;
}
template <int Position> VIVIDRA_INLINE std::uint32_t place(std::uint8_t v) {
    return static_cast<std::uint32_t>(v) << (8 * Position);
}

// True when both views have the same size (the common precondition).
inline bool sameSize(const ConstImageView& a, const ImageView& b) {
    return a.width == b.width && a.height == b.height && !a.empty() && !b.empty();
}

// Copies pixels, reordering channels when the orders differ; `out` may be `in`.
[[nodiscard]] bool copyPixels(const ConstImageView& in, const ImageView& out);

// Kernels work in the input's channel order; when the output wants the other
// order, this swaps red and blue of the finished output in place.
[[nodiscard]] bool matchOutputOrder(const ConstImageView& in, const ImageView& out);

// Expands to three copies of `impl<Layout>(args)` compiled for AVX-512, AVX2 and
// baseline x86-64, plus `name<Layout>` that calls the best one for this machine.
#if VIVIDRA_HAVE_DISPATCH
#define VIVIDRA_MULTIVERSION(name, impl, params, args)                                             \
    template <class Layout> VIVIDRA_TARGET_AVX512 void name##Avx512 params {                       \
        impl<Layout> args;                                                                         \
    }                                                                                              \
    template <class Layout> VIVIDRA_TARGET_AVX2 void name##Avx2 params {                           \
        impl<Layout> args;                                                                         \
    }                                                                                              \
    template <class Layout> void name##Base params {                                               \
        impl<Layout> args;                                                                         \
    }                                                                                              \
    template <class Layout> void name params {                                                     \
        switch (::vividra::fx::detail::isa()) {                                                    \
        case ::vividra::fx::detail::Isa::Avx512:                                                   \
            name##Avx512<Layout> args;                                                             \
            break;                                                                                 \
        case ::vividra::fx::detail::Isa::Avx2:                                                     \
            name##Avx2<Layout> args;                                                               \
            break;                                                                                 \
        default:                                                                                   \
            name##Base<Layout> args;                                                               \
        }                                                                                          \
    }
#else
#define VIVIDRA_MULTIVERSION(name, impl, params, args)                                             \
    template <class Layout> void name params {                                                     \
        impl<Layout> args;                                                                         \
    }
#endif

// A 3×3 colour matrix plus offset on 0…255 values, applied to R, G, B; alpha
// passes through. `out` may be `in`.
struct ColourMatrix {
    float m[3][3];
    float offset[3];
};
[[nodiscard]] bool applyColourMatrix(const ConstImageView& in, const ImageView& out,
                                     const ColourMatrix& cm);

// One 256-entry table per colour channel; alpha passes through. `out` may be `in`.
struct ChannelLuts {
    std::uint8_t r[256], g[256], b[256];
};
[[nodiscard]] bool applyChannelLuts(const ConstImageView& in, const ImageView& out,
                                    const ChannelLuts& luts);

// A gain and offset per colour channel on 0…255 values: v·gain + offset,
// rounded to a byte; alpha passes through.
struct ChannelScale {
    float gain[3];
    float offset[3];
};
// One channel of a scale. The multiply-add is fused, so vector code that
// fuses it too gives the very same bytes as a table built from this.
inline std::uint8_t scaleByte(int v, float gain, float offset) {
    return truncByte(__builtin_fmaf(static_cast<float>(v), gain, offset + 0.5f));
}

// A chain of matrix, table and scale steps run in one pass, each rounded to
// bytes as if run separately. `out` may be `in`.
struct ColourStage {
    enum class Kind { Luts, Matrix, Scale };
    Kind kind = Kind::Luts;
    ColourMatrix matrix;
    ChannelLuts luts;
    ChannelScale scale;
};
[[nodiscard]] bool applyColourStages(const ConstImageView& in, const ImageView& out,
                                     const ColourStage* stages, int count);
[[nodiscard]] bool applyChannelScale(const ConstImageView& in, const ImageView& out,
                                     const ChannelScale& scale);

// Scratch memory from the pixel cache, returned on scope exit. Empty (false)
// when memory ran out.
class PixelBuffer {
public:
    PixelBuffer() = default;
    explicit PixelBuffer(std::size_t bytes) noexcept;
    ~PixelBuffer();
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;
    explicit operator bool() const { return data_ != nullptr; }
    template <class T> T* as() const { return static_cast<T*>(data_); }

private:
    void* data_ = nullptr;
    std::size_t bytes_ = 0;
};

} // namespace vividra::fx::detail
