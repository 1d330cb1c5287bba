#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "model/history/control_values.h"
#include "model/session/control_ranges.h"

using namespace vividra;

TEST(ControlValues, SliderValuesReadBackExactly) {
    EXPECT_EQ(formatSliderValue(20.0f), "20.0");
    EXPECT_EQ(formatSliderValue(0.2f), "0.2");
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-400.0f, 400.0f);
    for (int i = 0; i < 2000; ++i) {
        const float v = dist(rng);
        const QString text = formatSliderValue(v);
        ASSERT_TRUE(text.contains(QLatin1Char('.'))) << text.toStdString();
        const auto back = parseValueLine(text);
        ASSERT_TRUE(back.has_value()) << text.toStdString();
        EXPECT_EQ(*back, v) << text.toStdString();
    }
}

TEST(ControlValues, SettingsComeBackExceptTheForegroundSketchIntensity) {
    std::mt19937 rng(11);
    const auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const auto value = [&rng](const SliderRange& r) {
        return std::uniform_real_distribution<float>(r.minimum, r.maximum)(rng);
    };
    for (int round = 0; round < 50; ++round) {
        EditSettings s;
        AdjustmentSettings& a = s.adjustments;
        std::vector<std::pair<float*, SliderRange>> sliders = {
            {&a.brightness, ranges::brightness}, {&a.exposure, ranges::exposure},
            {&a.contrast, ranges::contrast},     {&a.saturation, ranges::saturation},
            {&a.gamma, ranges::gamma},           {&a.hue, ranges::hue},
            {&a.red, ranges::channel},           {&a.green, ranges::channel},
            {&a.blue, ranges::channel}};
        for (EffectSettings* e : {&s.foreground, &s.background}) {
            for (bool* on : {&e->blackWhiteOn, &e->colorEffectsOn, &e->sepiaOn, &e->blurOn,
                             &e->oilPaintingOn, &e->sketchOn})
                *on = pick(2);
            e->blackWhiteEffect = kBlackWhiteItems[pick(kBlackWhiteItems.size())];
            e->colorEffect = kColorEffectItems[pick(kColorEffectItems.size())];
            sliders.insert(sliders.end(), {{&e->sepiaIntensity, ranges::sepiaIntensity},
                                           {&e->blurIntensity, ranges::blurIntensity},
                                           {&e->oilPaintingIntensity, ranges::oilPaintingIntensity},
                                           {&e->sketchIntensity, ranges::sketchIntensity},
                                           {&e->sketchEdge, ranges::sketchEdge}});
        }
        for (auto [field, range] : sliders)
            *field = value(range);
        s.brush.size = static_cast<float>(1 + pick(100));
        s.brush.customColor = pick(2);
        s.brush.eraser = pick(2);

        const auto values = ControlValues::fromText(ControlValues::record(s).toText());
        ASSERT_TRUE(values.has_value());
        EditSettings restored;
        restored.foreground.sketchIntensity = 7.5f;
        values->applyTo(restored);
        EditSettings expected = s;
        expected.foreground.sketchIntensity = 7.5f;
        EXPECT_EQ(restored, expected) << round;
    }

    // Lines that do not parse, name no item, or lie outside their slider leave their
    // settings alone: a brush size of 2e13, from the fuzzer, once reached the brush label's
    // conversion to int.
    ControlValues bad = ControlValues::record(EditSettings());
    bad.lines[13] = QStringLiteral("9");
    bad.lines[25] = QStringLiteral("half");
    bad.lines[12] = QStringLiteral("on");
    bad.lines[19] = QStringLiteral("2e13");
    bad.lines[30] = QStringLiteral("nan");
    bad.lines[31] = QStringLiteral("-inf");
    bad.lines[22] = QStringLiteral("100.5");
    EditSettings kept;
    bad.applyTo(kept);
    EXPECT_EQ(kept, EditSettings());
}
