#include "kernels/adjustments.h"

#include <array>
#include <cmath>

#include "kernels/pixel_ops.h"

namespace vividra::fx {

namespace {

using detail::ChannelLuts;
using detail::ChannelScale;
using detail::ColourMatrix;
using detail::ColourStage;

constexpr double kLumaR = 0.2125, kLumaG = 0.7154, kLumaB = 0.0721;

// The per-channel steps are straight lines on 0…255 levels.
ChannelScale uniformScale(float gain, float offset) {
    return {{gain, gain, gain}, {offset, offset, offset}};
}
ChannelScale brightnessScale(float b) {
    return uniformScale(1.0f, b * 255.0f);
}
ChannelScale contrastScale(float k) {
    return uniformScale(k, (1.0f - k) * 127.5f);
}
ChannelScale exposureScale(float e) {
    return uniformScale(std::exp2(e), 0.0f);
}
ChannelScale rgbScale(float r, float g, float b) {
    return {{r, g, b}, {0.0f, 0.0f, 0.0f}};
}

ChannelLuts gammaLuts(float g) {
    ChannelLuts l;
    for (int v = 0; v < 256; ++v)
        l.r[v] = detail::roundByte(std::pow(static_cast<float>(v) / 255.0f, g) * 255.0f);
    std::copy(l.r, l.r + 256, l.g);
    std::copy(l.r, l.r + 256, l.b);
    return l;
}

ColourMatrix saturationMatrix(float s) {
    const double w[3] = {kLumaR, kLumaG, kLumaB};
    ColourMatrix cm{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            cm.m[i][j] = static_cast<float>((1.0 - s) * w[j] + (i == j ? s : 0.0));
    return cm;
}

// RGB → YIQ, turn the chroma plane by −h, back to RGB: one matrix.
ColourMatrix hueMatrix(float degrees) {
    static constexpr double toYiq[3][3] = {
        {0.299, 0.587, 0.114}, {0.595716, -0.274453, -0.321263}, {0.211456, -0.522591, 0.31135}};
    static constexpr double toRgb[3][3] = {
        {1.0, 0.9563, 0.6210}, {1.0, -0.2721, -0.6474}, {1.0, -1.1070, 1.7046}};
    const double theta = std::fmod(static_cast<double>(degrees), 360.0) * M_PI / 180.0;
    const double c = std::cos(theta), s = std::sin(theta);
    const double turn[3][3] = {{1, 0, 0}, {0, c, s}, {0, -s, c}};
    double a[3][3] = {};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                a[i][j] += turn[i][k] * toYiq[k][j];
    ColourMatrix cm{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double v = 0.0;
            for (int k = 0; k < 3; ++k)
                v += toRgb[i][k] * a[k][j];
            cm.m[i][j] = static_cast<float>(v);
        }
    return cm;
}

bool runScale(const ConstImageView& in, const ImageView& out, bool neutral, const ChannelScale& s) {
    return neutral ? detail::copyPixels(in, out) : detail::applyChannelScale(in, out, s);
}

bool runMatrix(const ConstImageView& in, const ImageView& out, bool neutral,
               const ColourMatrix& m) {
    return neutral ? detail::copyPixels(in, out) : detail::applyColourMatrix(in, out, m);
}

bool neutralHue(float degrees) {
    return std::fmod(degrees, 360.0f) == 0.0f;
}

} // namespace

bool brightness(const ConstImageView& in, const ImageView& out, float value) {
    return runScale(in, out, value == 0.0f, brightnessScale(value));
}
bool contrast(const ConstImageView& in, const ImageView& out, float value) {
    return runScale(in, out, value == 1.0f, contrastScale(value));
}
bool saturation(const ConstImageView& in, const ImageView& out, float value) {
    return runMatrix(in, out, value == 1.0f, saturationMatrix(value));
}
bool exposure(const ConstImageView& in, const ImageView& out, float value) {
    return runScale(in, out, value == 0.0f, exposureScale(value));
}
bool gamma(const ConstImageView& in, const ImageView& out, float value) {
    return value == 1.0f ? detail::copyPixels(in, out)
                         : detail::applyChannelLuts(in, out, gammaLuts(value));
}
bool hue(const ConstImageView& in, const ImageView& out, float degrees) {
    return runMatrix(in, out, neutralHue(degrees), hueMatrix(degrees));
}
bool rgb(const ConstImageView& in, const ImageView& out, float red, float green, float blue) {
    return runScale(in, out, red == 1.0f && green == 1.0f && blue == 1.0f,
                    rgbScale(red, green, blue));
}

bool applyAdjustments(const ConstImageView& in, const ImageView& out, const Adjustments& steps) {
    // One stage per step that is set; the stage runner folds what it can.
    std::array<ColourStage, 7> stages{};
    int count = 0;
    auto add = [&](ColourStage::Kind kind) -> ColourStage& {
        stages[count].kind = kind;
        return stages[count++];
    };
    using Kind = ColourStage::Kind;
    if (steps.brightness && *steps.brightness != 0.0f)
        add(Kind::Scale).scale = brightnessScale(*steps.brightness);
    if (steps.contrast && *steps.contrast != 1.0f)
        add(Kind::Scale).scale = contrastScale(*steps.contrast);
    if (steps.saturation && *steps.saturation != 1.0f)
        add(Kind::Matrix).matrix = saturationMatrix(*steps.saturation);
    if (steps.exposure && *steps.exposure != 0.0f)
        add(Kind::Scale).scale = exposureScale(*steps.exposure);
    if (steps.gamma && *steps.gamma != 1.0f)
        add(Kind::Luts).luts = gammaLuts(*steps.gamma);
    if (steps.hue && !neutralHue(*steps.hue))
        add(Kind::Matrix).matrix = hueMatrix(*steps.hue);
    if (steps.rgb && (*steps.rgb != std::array<float, 3>{1.0f, 1.0f, 1.0f}))
        add(Kind::Scale).scale = rgbScale((*steps.rgb)[0], (*steps.rgb)[1], (*steps.rgb)[2]);
    return detail::applyColourStages(in, out, stages.data(), count);
}

} // namespace vividra::fx
