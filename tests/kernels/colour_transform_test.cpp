#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "kernels/colour_transform.h"
#include "tests/kernels/kernel_pictures.h"

using namespace vividra::fx;
using vividra::fx::testing::Picture;
namespace t = vividra::fx::testing;

namespace {

// A transfer curve: the sRGB one, or a pure power, whose slope from black is infinite.
struct Curve {
    bool srgb = true;
    double gamma = 2.2;

    double toLinear(double v) const {
        if (!srgb)
            return std::pow(v, gamma);
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    }
    double fromLinear(double l) const {
        if (!srgb)
            return std::pow(l, 1.0 / gamma);
        return l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1.0 / 2.4) - 0.055;
    }
};

struct Conversion {
    Curve source[3], destination[3];
    double matrix[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

    std::unique_ptr<CurveTransform> tables() const {
        auto t = std::make_unique<CurveTransform>();
        for (int c = 0; c < 3; ++c) {
            for (int v = 0; v < 256; ++v)
                t->decode[c][v] = static_cast<float>(source[c].toLinear(v / 255.0));
            for (int i = 0; i < kEncodeEntries; ++i)
                t->encode[c][i] = static_cast<std::uint8_t>(
                    std::lround(255.0 * destination[c].fromLinear(encodeSamplePoint(i))));
            for (int k = 0; k < 3; ++k)
                t->matrix[c][k] = static_cast<float>(matrix[c][k]);
        }
        return t;
    }

    // The straight colour, exactly, rounded only at the end.
    std::array<int, 3> exact(const std::array<int, 3>& code, int* clamped = nullptr) const {
        std::array<int, 3> out{};
        for (int k = 0; k < 3; ++k) {
            double l = 0;
            for (int j = 0; j < 3; ++j)
                l += matrix[k][j] * source[j].toLinear(code[static_cast<std::size_t>(j)] / 255.0);
            if (clamped && (l < -0.01 || l > 1.01))
                ++*clamped;
            l = std::clamp(l, 0.0, 1.0);
            out[static_cast<std::size_t>(k)] =
                static_cast<int>(std::lround(255.0 * destination[k].fromLinear(l)));
        }
        return out;
    }
};

Curve randomCurve(std::mt19937& rng) {
    std::uniform_real_distribution<double> gamma(1.8, 2.6);
    return {rng() % 2 == 0, gamma(rng)};
}

// A wide-gamut-like mix that pushes colours past both ends of the destination's range.
Conversion randomConversion(unsigned seed) {
    std::mt19937 rng(seed);
    Conversion c;
    std::uniform_real_distribution<double> diagonal(0.8, 1.3), across(-0.3, 0.3);
    for (int k = 0; k < 3; ++k) {
        c.source[k] = randomCurve(rng);
        c.destination[k] = randomCurve(rng);
        for (int j = 0; j < 3; ++j)
            c.matrix[k][j] = k == j ? diagonal(rng) : across(rng);
    }
    return c;
}

// Premultiplied pixels: about half opaque, some fully transparent, the rest translucent.
Picture premultipliedPicture(int w, int h, unsigned seed, ChannelOrder order) {
    Picture p = t::noisePicture(w, h, seed, order);
    std::mt19937 rng(seed + 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned kind = rng() % 8;
            const int a = kind < 4 ? 255 : kind == 4 ? 0 : p.at(x, y, t::Alpha);
            p.at(x, y, t::Alpha) = static_cast<std::uint8_t>(a);
            for (int c = 0; c < 3; ++c)
                p.at(x, y, c) = static_cast<std::uint8_t>(p.at(x, y, c) * a / 255);
        }
    return p;
}

int roundedProduct(int v, int a) {
    return static_cast<int>(std::lround(v * a / 255.0));
}

} // namespace

VIVIDRA_ON_EACH_PATH(ColourTransformOnEachPath);

// Every pixel lands within a level of the exact conversion of its straight colour, alpha
// is kept and nothing beside the pixels is written, whatever the width, order and curves.
TEST_P(ColourTransformOnEachPath, EveryPixelWithinALevelOfTheExactConversion) {
    const int widths[] = {1, 7, 37, 203};
    int clamped = 0;
    for (unsigned seed = 1; seed <= 8; ++seed) {
        const Conversion conversion = randomConversion(seed);
        const auto tables = conversion.tables();
        const ChannelOrder order = seed % 2 ? ChannelOrder::BGRA : ChannelOrder::RGBA;
        const int width = widths[seed % 4];
        const Picture before = premultipliedPicture(width, 97, seed, order);
        Picture after = before;
        ASSERT_TRUE(transformColours(after.view(), *tables));
        ASSERT_TRUE(after.paddingIntact());
        for (int y = 0; y < before.height; ++y)
            for (int x = 0; x < width; ++x) {
                const int a = before.at(x, y, t::Alpha);
                ASSERT_EQ(after.at(x, y, t::Alpha), a);
                std::array<int, 3> code{};
                if (a != 0)
                    for (int c = 0; c < 3; ++c)
                        code[static_cast<std::size_t>(c)] =
                            std::min(255, (before.at(x, y, c) * 255 + a / 2) / a);
                const std::array<int, 3> exact = conversion.exact(code, &clamped);
                for (int c = 0; c < 3; ++c) {
                    const int want = roundedProduct(exact[static_cast<std::size_t>(c)], a);
                    ASSERT_NEAR(after.at(x, y, c), want, 1)
                        << "seed " << seed << " at " << x << "," << y << " channel " << c;
                }
            }
    }
    // The mixes do reach past the gamut, so clamping is tried too.
    EXPECT_GT(clamped, 500);
}

// Through the same curve both ways and no mixing, every opaque code comes back exactly:
// the encoding tables are fine enough even where a power curve leaves black.
TEST_P(ColourTransformOnEachPath, SameCurveBothWaysKeepsEveryOpaqueCode) {
    for (const Curve curve : {Curve{true, 0}, Curve{false, 2.2}, Curve{false, 1.8}}) {
        Conversion same;
        for (int c = 0; c < 3; ++c)
            same.source[c] = same.destination[c] = curve;
        const auto tables = same.tables();
        Picture before(256, 3, ChannelOrder::BGRA);
        for (int x = 0; x < 256; ++x)
            for (int y = 0; y < 3; ++y) {
                for (int c = 0; c < 3; ++c)
                    before.at(x, y, c) = static_cast<std::uint8_t>((x + 85 * (c + y)) & 0xff);
                before.at(x, y, t::Alpha) = 255;
            }
        Picture after = before;
        ASSERT_TRUE(transformColours(after.view(), *tables));
        EXPECT_EQ(after.worstDifference(before), 0) << curve.srgb << " " << curve.gamma;
    }
}
