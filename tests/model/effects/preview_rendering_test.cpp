#include <gtest/gtest.h>

#include <QPainter>

#include <cmath>
#include <random>

#include "model/effects/layer_rendering.h"
#include "model/effects/preview_rendering.h"
#include "tests/support/sample_pictures.h"

namespace vividra {
namespace {

// Photo-like: smooth gradients, soft shapes, fine grain.
Picture scene(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    std::mt19937 rng(5);
    std::normal_distribution<double> grain(0.0, 6.0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = x - w * 0.4, dy = y - h * 0.55;
            const double disc = std::exp(-(dx * dx + dy * dy) / (0.05 * w * h));
            const auto c = [&](double v) {
                return static_cast<int>(std::clamp(v + grain(rng), 0.0, 255.0));
            };
            img.setPixel(x, y,
                         qRgb(c(60 + 180 * disc + 40.0 * x / w), c(90 + 100.0 * y / h),
                              c(200 - 150 * disc)));
        }
    return Picture(img);
}

// At fit, the preview of every effect and look agrees with the full-resolution result shown
// at the same size: within 2/255 on average, the sketch of a grainy picture included.
TEST(Preview, AgreesWithTheFullRenderingAtFit) {
    const Picture original = scene(1600, 1200);
    const ViewGeometry fit{QRectF(0, 0, 400, 300), QRectF(0, 0, 400, 300), 400, 300};
    AdjustmentSettings mixed;
    mixed.brightness = 0.1f, mixed.contrast = 1.3f, mixed.saturation = 1.4f, mixed.gamma = 0.8f;
    mixed.hue = 30, mixed.red = 1.1f;
    std::vector<std::pair<EffectSettings, AdjustmentSettings>> cases = {
        {{}, {}},
        {{.sepiaOn = true}, {}},
        {{.blurOn = true}, {}},
        {{.blurOn = true, .blurIntensity = 90}, {}},
        {{.oilPaintingOn = true}, {}},
        {{.sketchOn = true}, {}},
        {{}, mixed}};
    for (const QString& look : kBlackWhiteItems)
        cases.push_back({{.blackWhiteOn = true, .blackWhiteEffect = look}, {}});
    for (const QString& look : kColorEffectItems)
        cases.push_back({{.colorEffectsOn = true, .colorEffect = look}, {}});
    // The effect on the foreground, revealed by one stroke; the background left plain.
    auto path = makePath();
    path->moveTo(200, 300);
    path->lineTo(1400, 900);
    PreviewInput in;
    in.reduced = reducedOriginal(original, QSizeF(400, 300));
    in.detailed = reducedOriginal(original, sketchDetailSize(original.size, QSizeF(400, 300)));
    in.fullSize = original.size;
    in.strokes = {std::make_shared<CustomPath>(300.0, QBrush(), path)};
    in.view = fit;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        std::tie(in.foreground, in.adjustments) = cases[i];
        const Picture full = effectChain(original, in.foreground, in.adjustments);
        const Picture background = effectChain(original, EffectSettings(), in.adjustments);
        const Picture composite =
            compositeStrokes(background, in.strokes, patternColor(full), patternColor(background));
        const QImage expected = displayWindow(composite, fit).image, preview = renderPreview(in);
        ASSERT_EQ(preview.size(), expected.size()) << i;
        // Two levels on average over the colours; alpha, opaque on both, adds nothing.
        EXPECT_LE(test::compare(preview, expected).mean, 2.0 * 3 / 4) << i;
    }
}

// An oil painting's radius, whole pixels, shrinks with the picture (the blur's shows above),
// but one that paints at all keeps painting.
TEST(Preview, OilPaintingKeepsPaintingWhenScaledDown) {
    EffectSettings s;
    s.oilPaintingIntensity = 8.6f;
    EXPECT_FLOAT_EQ(scaledForPreview(s, 0.25).oilPaintingIntensity, 2);
    EXPECT_FLOAT_EQ(scaledForPreview(s, 0.05).oilPaintingIntensity, 1);
    s.oilPaintingIntensity = 0.5f;
    EXPECT_FLOAT_EQ(scaledForPreview(s, 0.25).oilPaintingIntensity, 0.5f);
}

} // namespace
} // namespace vividra
