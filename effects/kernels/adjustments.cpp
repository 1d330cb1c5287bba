#include "effects/kernels/adjustments.h"

#include <array>
#include <cmath>

#include "effects/kernels/pixel_ops.h"

namespace vividra::fx {

namespace {

using detail::ChannelLuts;
using detail::ColourMatrix;
using detail::ColourStage;

constexpr double kLumaR = 0.2125, kLumaG = 0.7154, kLumaB = 0.0721;

// One channel's table from a function on 0…1 values, rounded like every step.
template <class F> void fillTable(std::uint8_t* table, F&& f) {
    for (int v = 0; v < 256; ++v)
        table[v] =
            detail::roundByte(static_cast<float>(f(static_cast<float>(v) / 255.0f)) * 255.0f);
}

template <class F> ChannelLuts uniformLuts(F&& f) {
    ChannelLuts l;
    fillTable(l.r, f);
    std::copy(l.r, l.r + 256, l.g);
    std::copy(l.r, l.r + 256, l.b);
    return l;
}

ChannelLuts brightnessLuts(float b) {
    return uniformLuts([b](float c) { return c + b; });
}
ChannelLuts contrastLuts(float k) {
    return uniformLuts([k](float c) { return (c - 0.5f) * k + 0.5f; });
}
ChannelLuts exposureLuts(float e) {
    const float gain = std::exp2(e);
    return uniformLuts([gain](float c) { return c * gain; });
}
ChannelLuts gammaLuts(float g) {
    return uniformLuts([g](float c) { return std::pow(c, g); });
}
ChannelLuts rgbLuts(float r, float g, float b) {
    ChannelLuts l;
    fillTable(l.r, [r](float c) { return c * r; });
    fillTable(l.g, [g](float c) { return c * g; });
    fillTable(l.b, [b](float c) { return c * b; });
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

bool runLuts(const ConstImageView& in, const ImageView& out, bool neutral, const ChannelLuts& l) {
    return neutral ? detail::copyPixels(in, out) : detail::applyChannelLuts(in, out, l);
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
    return runLuts(in, out, value == 0.0f, brightnessLuts(value));
}
bool contrast(const ConstImageView& in, const ImageView& out, float value) {
    return runLuts(in, out, value == 1.0f, contrastLuts(value));
}
bool saturation(const ConstImageView& in, const ImageView& out, float value) {
    return runMatrix(in, out, value == 1.0f, saturationMatrix(value));
}
bool exposure(const ConstImageView& in, const ImageView& out, float value) {
    return runLuts(in, out, value == 0.0f, exposureLuts(value));
}
bool gamma(const ConstImageView& in, const ImageView& out, float value) {
    return runLuts(in, out, value == 1.0f, gammaLuts(value));
}
bool hue(const ConstImageView& in, const ImageView& out, float degrees) {
    return runMatrix(in, out, neutralHue(degrees), hueMatrix(degrees));
}
bool rgb(const ConstImageView& in, const ImageView& out, float red, float green, float blue) {
    return runLuts(in, out, red == 1.0f && green == 1.0f && blue == 1.0f,
                   rgbLuts(red, green, blue));
}

bool applyAdjustments(const ConstImageView& in, const ImageView& out, const Adjustments& steps) {
    // Neighbouring per-channel steps fold into one table; the channel-mixing
    // steps (saturation, hue) stay matrices between them. Seven steps make at
    // most seven stages.
    std::array<ColourStage, 7> stages{};
    int count = 0;
    auto addLuts = [&](const ChannelLuts& l) {
        if (count > 0 && !stages[count - 1].isMatrix) {
            stages[count - 1].luts = compose(stages[count - 1].luts, l);
            return;
        }
        stages[count].isMatrix = false;
        stages[count++].luts = l;
    };
    auto addMatrix = [&](const ColourMatrix& m) {
        stages[count].isMatrix = true;
        stages[count++].matrix = m;
    };
    if (steps.brightness && *steps.brightness != 0.0f)
        addLuts(brightnessLuts(*steps.brightness));
    if (steps.contrast && *steps.contrast != 1.0f)
        addLuts(contrastLuts(*steps.contrast));
    if (steps.saturation && *steps.saturation != 1.0f)
        addMatrix(saturationMatrix(*steps.saturation));
    if (steps.exposure && *steps.exposure != 0.0f)
        addLuts(exposureLuts(*steps.exposure));
    if (steps.gamma && *steps.gamma != 1.0f)
        addLuts(gammaLuts(*steps.gamma));
    if (steps.hue && !neutralHue(*steps.hue))
        addMatrix(hueMatrix(*steps.hue));
    if (steps.rgb && (*steps.rgb != std::array<float, 3>{1.0f, 1.0f, 1.0f}))
        addLuts(rgbLuts((*steps.rgb)[0], (*steps.rgb)[1], (*steps.rgb)[2]));
    return detail::applyColourStages(in, out, stages.data(), count);
}

} // namespace vividra::fx
