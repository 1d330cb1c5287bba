#include <gtest/gtest.h>

#include <random>

#include "history/control_values.h"

using namespace vividra;

TEST(ControlValues, SliderValuesReadBackExactly) {
    EXPECT_EQ(formatSliderValue(20.0f), "20.0");
    EXPECT_EQ(formatSliderValue(0.5f), "0.5");
    EXPECT_EQ(formatSliderValue(0.2f), "0.2");
    EXPECT_EQ(formatSliderValue(-1.0f), "-1.0");
    EXPECT_EQ(formatSliderValue(0.0f), "0.0");
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

TEST(ControlValues, NumberLinesAreStrict) {
    EXPECT_EQ(parseIntegerLine("12"), 12);
    EXPECT_EQ(parseIntegerLine("-3"), -3);
    EXPECT_EQ(parseIntegerLine("+4"), 4);
    for (const char* bad : {"", "+", "1.0", " 1", "1 ", "0x1", "1e2", "abc", "99999999999"})
        EXPECT_FALSE(parseIntegerLine(QString::fromLatin1(bad)).has_value()) << bad;
    EXPECT_EQ(parseValueLine("0.25"), 0.25f);
    EXPECT_EQ(parseValueLine("-2"), -2.0f);
    EXPECT_EQ(parseValueLine("1e1"), 10.0f);
    for (const char* bad : {"", "0,5", "1.0x", " 1.0", "1.0 ", "nan!", "--1"})
        EXPECT_FALSE(parseValueLine(QString::fromLatin1(bad)).has_value()) << bad;
}

TEST(ControlValues, TextHasExactlyThirtyNineLines) {
    ControlValues v;
    for (int i = 0; i < ControlValues::kLineCount; ++i)
        v.lines[static_cast<size_t>(i)] = QString::number(i);
    const QString text = v.toText();
    EXPECT_EQ(text.count(QLatin1Char('\n')), 39);
    EXPECT_TRUE(text.endsWith(QStringLiteral("38\n")));
    const auto back = ControlValues::fromText(text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->lines, v.lines);

    EXPECT_FALSE(ControlValues::fromText(text.chopped(1)).has_value()); // last line unterminated
    EXPECT_FALSE(
        ControlValues::fromText(text + QStringLiteral("\n")).has_value()); // one line too many
    EXPECT_FALSE(ControlValues::fromText(QString()).has_value());
}
