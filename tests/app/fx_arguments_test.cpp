#include <gtest/gtest.h>

#include <QImage>

#include "app/fx_arguments.h"

namespace vividra {
namespace {

std::optional<FxArguments> parse(const char* line, QString& problem) {
    return FxArguments::parse(QString::fromLatin1(line).split(QLatin1Char(' ')), problem);
}

TEST(FxArguments, StepsRunInOrderAndBadCommandsSayWhy) {
    QString problem;
    const auto command = parse("in.jpg out.png photo Noir blur 5 rgb 1 0.5 2 kuwahara 3", problem);
    ASSERT_TRUE(command) << problem.toStdString();
    EXPECT_EQ(command->input, QStringLiteral("in.jpg"));
    EXPECT_EQ(command->output, QStringLiteral("out.png"));
    EXPECT_EQ(command->formatCode, 5);
    ASSERT_EQ(command->steps.size(), 4u);
    QImage pixels(6, 4, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(qRgb(200, 120, 40));
    Picture picture(pixels);
    for (const auto& step : command->steps)
        picture = step(picture);
    EXPECT_EQ(picture.image.size(), pixels.size());
    // Noir takes the colour away and the rgb step puts a tint back.
    const QRgb out = picture.image.pixel(3, 2);
    EXPECT_LT(qGreen(out), qBlue(out));

    // The kuwahara radius came from the fuzzer: 6522 kept one run on a 7 × 5 picture
    // busy for twenty seconds. Radii end where the editor's sliders do.
    const char* refused[] = {
        "in.jpg",
        "in.jpg out.xyz",
        "in.jpg out.png swirl 3",
        "in.jpg out.png blur",
        "in.jpg out.png blur five",
        "in.jpg out.png blur nan",
        "in.jpg out.png blur 1e30",
        "in.jpg out.png blur -1",
        "in.jpg out.png photo Sparkle",
        "in.jpg out.png rgb 1 1",
        "a.prg b.jp2 sketch 1 2 rgb 26 0.5 2 kuwahara 6522 kuwahara 652",
        "in.jpg out.png kuwahara 21",
        "in.jpg out.png kuwahara -1",
    };
    for (const char* line : refused) {
        problem.clear();
        EXPECT_FALSE(parse(line, problem)) << line;
        EXPECT_FALSE(problem.isEmpty()) << line;
    }
    EXPECT_TRUE(parse("in.jpg out.png kuwahara 20 blur 100 blur 0", problem));
}

} // namespace
} // namespace vividra
