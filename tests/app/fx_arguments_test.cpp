#include <gtest/gtest.h>

#include <QImage>

#include "app/fx/fx_arguments.h"

namespace vividra {
namespace {

QStringList split(const QString& line) {
    return line.split(QLatin1Char(' '));
}

std::optional<FxArguments> parse(const QString& line, QString& problem) {
    return FxArguments::parse(split(line), problem);
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
    QStringList refused{"in.jpg", "in.jpg out.xyz",
                        "a.prg b.jp2 sketch 1 2 rgb 26 0.5 2 kuwahara 6522 kuwahara 652"};
    for (const char* step : {"swirl 3", "blur", "blur five", "blur nan", "blur 1e30", "blur -1",
                             "photo Sparkle", "rgb 1 1", "kuwahara 21", "kuwahara -1"})
        refused << QStringLiteral("in.jpg out.png ") + QLatin1String(step);
    for (const QString& line : refused) {
        problem.clear();
        EXPECT_FALSE(parse(line, problem)) << line.toStdString();
        EXPECT_FALSE(problem.isEmpty()) << line.toStdString();
    }
    EXPECT_TRUE(parse("in.jpg out.png kuwahara 20 blur 100 blur 0", problem));
}

TEST(FxArguments, FolderFormTakesOptionsInAnyOrder) {
    QString problem;
    EXPECT_FALSE(FxFolderArguments::isFolderForm(split("in.jpg out.png")));
    const auto folder = FxFolderArguments::parse(
        split("--out=done a.jpg --keep-hue 350.5 b.png --profile look.clr --tolerance 0 -- --c"),
        problem);
    ASSERT_TRUE(folder) << problem.toStdString();
    EXPECT_EQ(folder->profile, QStringLiteral("look.clr"));
    EXPECT_EQ(folder->outFolder, QStringLiteral("done"));
    EXPECT_EQ(folder->inputs, split("a.jpg b.png --c"));
    EXPECT_EQ(folder->keepHue, 350.5f);
    EXPECT_EQ(folder->tolerance, 0.0f);
    const auto plain = FxFolderArguments::parse(split("--profile p a --out o"), problem);
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->keepHue || plain->tolerance || plain->subject);
    // A box in pixels is clipped to the picture; one in percentages scales with it.
    const auto pixels =
        FxFolderArguments::parse(split("--subject=10,5,300,20 --profile p a --out o"), problem);
    ASSERT_TRUE(pixels && pixels->subject);
    EXPECT_EQ(pixels->subject->in(QSize(200, 100)), QRect(10, 5, 190, 20));
    const auto percent =
        FxFolderArguments::parse(split("--profile p a --out o --subject 10%,20%,50%,50%"), problem);
    ASSERT_TRUE(percent && percent->subject);
    EXPECT_EQ(percent->subject->in(QSize(200, 100)), QRect(20, 20, 100, 50));

    QStringList refused{"--profile p --out o", "--profile p a",       "--out o a",
                        "--profile p a --out", "--profile --out o a", "--profile= a --out o"};
    // Each after a good command.
    for (const char* option :
         {"--tolerance 10", "--keep-hue 361", "--keep-hue -1", "--keep-hue 10 --tolerance 180.5",
          "--keep-hue red", "--keep-hue nan", "--out q", "--falloff 3", "--subject 1,2,3",
          "--subject 1,2,3,0", "--subject 1%,2%,3%,4", "--subject 10%,0%,101%,5%",
          "--subject -1,2,3,4", "--subject 1,2,3,4 --subject=1,2,3,4"})
        refused << QStringLiteral("--profile p a --out o ") + QLatin1String(option);
    for (const QString& line : refused) {
        problem.clear();
        EXPECT_FALSE(FxFolderArguments::parse(split(line), problem)) << line.toStdString();
        EXPECT_FALSE(problem.isEmpty()) << line.toStdString();
    }
}

} // namespace
} // namespace vividra
