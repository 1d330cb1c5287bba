#pragma once

// Small test pictures for the kernel tests: padded rows, either channel order,
// and access to colours by name whatever the order.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kernels/image_view.h"
#include "kernels/pixel_ops.h"

namespace vividra::fx::testing {

enum Channel { Red, Green, Blue, Alpha };

constexpr std::uint8_t kPadding = 0xcd;

struct Picture {
    int width = 0, height = 0, pad = 0;
    ChannelOrder order = ChannelOrder::RGBA;
    std::vector<std::uint8_t> bytes;

    Picture(int w, int h, ChannelOrder o = ChannelOrder::RGBA, int padPixels = 3)
        : width(w), height(h), pad(padPixels), order(o),
          bytes(static_cast<std::size_t>(stride()) * h, kPadding) {}

    std::ptrdiff_t stride() const { return static_cast<std::ptrdiff_t>(width + pad) * 4; }
    ImageView view() { return {bytes.data(), width, height, stride(), order}; }
    ConstImageView cview() const { return {bytes.data(), width, height, stride(), order}; }

    // BGRA swaps red and blue; green and alpha stay.
    std::size_t index(int x, int y, int c) const {
        const int byte = order == ChannelOrder::BGRA && c != Alpha ? 2 - c : c;
        return static_cast<std::size_t>(y * stride() + 4 * x + byte);
    }
    std::uint8_t& at(int x, int y, int c) { return bytes[index(x, y, c)]; }
    std::uint8_t at(int x, int y, int c) const { return bytes[index(x, y, c)]; }
    double unit(int x, int y, int c) const { return at(x, y, c) / 255.0; }

    // The same colours in the other order (or the same), with `padPixels` padding.
    Picture reordered(ChannelOrder o, int padPixels = 3) const {
        Picture p(width, height, o, padPixels);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 4; ++c)
                    p.at(x, y, c) = at(x, y, c);
        return p;
    }
    bool paddingIntact() const {
        for (int y = 0; y < height; ++y)
            for (std::ptrdiff_t i = 4 * width; i < stride(); ++i)
                if (bytes[static_cast<std::size_t>(y * stride() + i)] != kPadding)
                    return false;
        return true;
    }
    // The largest difference of any channel, compared by name whatever the orders.
    int worstDifference(const Picture& o) const {
        int worst = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 4; ++c)
                    worst = std::max(worst, std::abs(at(x, y, c) - o.at(x, y, c)));
        return worst;
    }
    bool sameColours(const Picture& o) const { return worstDifference(o) == 0; }
};

// Independent random bytes in every channel.
inline Picture noisePicture(int w, int h, unsigned seed, ChannelOrder o = ChannelOrder::RGBA) {
    Picture p(w, h, o);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                p.at(x, y, c) = static_cast<std::uint8_t>(rng() & 0xff);
    return p;
}

// Photo-like: smooth gradients, hard edges, a little noise, varying alpha.
inline Picture scenePicture(int w, int h, unsigned seed, ChannelOrder o = ChannelOrder::RGBA) {
    Picture p(w, h, o);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool inside = (x - w / 3) * (x - w / 3) + (y - h / 2) * (y - h / 2) < h * h / 9;
            const int base[3] = {inside ? 230 : 255 * x / w, inside ? 40 : 255 * y / h,
                                 (x / 7 + y / 5) % 2 ? 200 : 20};
            for (int c = 0; c < 3; ++c)
                p.at(x, y, c) = static_cast<std::uint8_t>(std::clamp(base[c] + noise(rng), 0, 255));
            p.at(x, y, Alpha) = static_cast<std::uint8_t>((x * 37 + y * 11) & 0xff);
        }
    return p;
}

// A fixture whose tests run once on each instruction-set path of the kernels;
// a path this machine lacks is skipped, not quietly run on another.
class OnEachPath : public ::testing::TestWithParam<detail::Isa> {
protected:
    void SetUp() override {
        if (detail::useIsa(GetParam()) != GetParam())
            GTEST_SKIP() << "this processor lacks the path";
    }
    void TearDown() override { detail::useIsa(before_); }

private:
    detail::Isa before_ = detail::isa();
};

inline std::string pathName(const ::testing::TestParamInfo<detail::Isa>& info) {
    return std::array{"base", "avx2", "avx512"}[static_cast<int>(info.param)];
}

} // namespace vividra::fx::testing

// Declares Suite as a fixture of OnEachPath and runs its TEST_Ps on every path.
#define VIVIDRA_ON_EACH_PATH(Suite)                                                                \
    class Suite : public ::vividra::fx::testing::OnEachPath {};                                    \
    INSTANTIATE_TEST_SUITE_P(Isa, Suite,                                                           \
                             ::testing::Values(::vividra::fx::detail::Isa::Base,                   \
                                               ::vividra::fx::detail::Isa::Avx2,                   \
                                               ::vividra::fx::detail::Isa::Avx512),                \
                             ::vividra::fx::testing::pathName)
