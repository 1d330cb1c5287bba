#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "model/history/control_values.h"
#include "model/session/edit_settings.h"

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
        EXPECT_EQ(parseValueLine(text), std::optional<float>(v)) << text.toStdString();
    }
}

// Every field of the table at random values in its range, the brush at whole points.
TEST(ControlValues, SettingsComeBackExceptTheForegroundSketchIntensity) {
    std::mt19937 rng(11);
    std::vector<SettingField> all{fields::customColour, fields::eraser};
    for (const bool foreground : {true, false})
        for (const auto& part : {fields::switches(foreground), fields::sliders(foreground)})
            all.insert(all.end(), part.begin(), part.end());
    all.insert(all.end(), fields::adjustments().begin(), fields::adjustments().end());
    for (int round = 0; round < 50; ++round) {
        EditSettings s;
        for (const SettingField& f : all)
            std::visit(
                [&](auto* v) {
                    if constexpr (std::is_same_v<decltype(v), bool*>)
                        *v = rng() % 2;
                    else if constexpr (std::is_same_v<decltype(v), float*>)
                        *v = std::uniform_real_distribution<float>(f.range.minimum,
                                                                   f.range.maximum)(rng);
                    else
                        *v = f.items->at(static_cast<int>(rng() % f.items->size()));
                },
                f.in(s));
        s.brush.size = static_cast<float>(1 + rng() % 100);
        const auto values = ControlValues::fromText(ControlValues::record(s).toText());
        ASSERT_TRUE(values.has_value());
        EditSettings restored;
        restored.foreground.sketchIntensity = 7.5f;
        values->applyTo(restored);
        s.foreground.sketchIntensity = 7.5f;
        EXPECT_EQ(restored, s) << round;
    }

    // Lines that do not parse, name no item, or lie outside their slider leave their
    // settings alone: a brush size of 2e13, from the fuzzer, once reached the brush label's
    // conversion to int.
    const std::pair<int, const char*> lines[] = {{13, "9"},    {25, "half"}, {12, "on"},
                                                 {19, "2e13"}, {30, "nan"},  {31, "-inf"},
                                                 {22, "100.5"}};
    ControlValues bad = ControlValues::record(EditSettings());
    for (const auto& [line, text] : lines)
        bad.lines[line] = QString::fromLatin1(text);
    EditSettings kept;
    bad.applyTo(kept);
    EXPECT_EQ(kept, EditSettings());
}
