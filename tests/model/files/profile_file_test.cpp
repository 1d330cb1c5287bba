#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "model/files/keep_sidecar.h"
#include "model/files/profile_file.h"
#include "tests/support/sample_pictures.h"

namespace vividra {
namespace {

EditSettings unusualSettings() {
    EditSettings s;
    s.brush.customColor = true;
    s.brush.eraser = true;
    s.brush.size = 37.0f;
    s.brush.colour = QColor::fromRgbF(0.25f, 0.5f, 1.0f);
    s.foreground.blackWhiteOn = true;
    s.foreground.blackWhiteEffect = QStringLiteral("Tonal");
    s.foreground.sketchOn = true;
    s.foreground.sketchIntensity = 0.37f;
    s.foreground.sketchEdge = 7.5f;
    s.background.colorEffectsOn = true;
    s.background.colorEffect = QStringLiteral("Transfer");
    s.background.blurOn = true;
    s.background.blurIntensity = 12.5f;
    s.background.oilPaintingIntensity = 9.0f;
    s.background.sepiaIntensity = 0.3f;
    s.adjustments = {.brightness = -0.25f, .exposure = 0.00001f, .hue = 359.5f, .blue = 1.9f};
    return s;
}

TEST(ProfileFile, WritesFortyThreeLinesAndReadsThemBack) {
    const EditSettings s = unusualSettings();
    const QString text = profile::text(s, QStringLiteral("37 px"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 44);
    // Custom colour on, the button, "Tonal", "Transfer", the brush, the foreground sketch's
    // own intensity line, exposure, blue and the eraser.
    const std::pair<int, const char*> expected[] = {
        {0, "1"},     {1, "0"},      {3, "2"},    {13, "4"}, {18, "37.0"}, {19, "37 px"},
        {23, "0.37"}, {31, "1e-05"}, {41, "1.0"}, {42, "1"}, {43, ""}};
    for (const auto& [line, value] : expected)
        EXPECT_EQ(lines[line], value) << line;
    const std::optional<profile::Values> back = profile::parse(text, EditSettings());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->settings, s);
    EXPECT_EQ(back->brushLabel, "37 px");

    // A combo without a selection is "-1" and comes back as none; the eraser, on alone here,
    // has a line of its own.
    EditSettings none;
    none.background.blackWhiteEffect.clear();
    none.brush.eraser = true;
    const QString noneText = profile::text(none, none.brushLabel());
    EXPECT_EQ(noneText.split(QLatin1Char('\n'))[11], "-1");
    EXPECT_EQ(profile::parse(noneText, s).value().settings, none);
}

TEST(ProfileFile, RejectsAnyBadLineOrLineBreak) {
    const QString good = profile::text(unusualSettings(), QStringLiteral("37 px"));
    ASSERT_TRUE(profile::parse(good, EditSettings()));
    QString crlf = good, separators = good;
    crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    separators.insert(4, QChar(0x2028)); // one more piece
    // No final line feed, or one piece too many.
    for (const QString& text : {crlf, separators, good.chopped(1), good + QStringLiteral("\n")})
        EXPECT_FALSE(profile::parse(text, EditSettings())) << text.toStdString();
    // A switch is 0 or 1, the button's state still a number, three black and white looks, the
    // brush at least 1, the label not empty, contrast at most 4, a colour component at most 1,
    // the eraser's switch an integer.
    const std::pair<int, const char*> lines[] = {
        {1, "2"},    {2, "x"},    {4, "3"},          {6, "-2"},   {19, "0.5"},
        {20, ""},    {22, "nan"}, {31, "-infinity"}, {33, "4.5"}, {38, "1,0"},
        {40, "1.5"}, {43, "1.0"}, {10, ""}};
    for (const auto& [line, value] : lines) {
        QStringList text = good.split(QLatin1Char('\n'));
        text[line - 1] = QString::fromLatin1(value);
        EXPECT_FALSE(profile::parse(text.join(QLatin1Char('\n')), EditSettings())) << line;
    }
}

TEST(ProfileFile, FilesAreUtf8TextOfBoundedSizeWrittenWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.clr"));
    const QString text = profile::text(unusualSettings(), QStringLiteral("37 px — ü"));
    ASSERT_TRUE(profile::writeFile(path, text));
    EXPECT_EQ(profile::readFile(path), text);

    // Ten megabytes, a NUL, a byte that is not UTF-8, and no file at all.
    for (const QByteArray& bad :
         {QByteArray(10 * 1024 * 1024, '1'), QByteArray("1\n\0\n", 4), QByteArray("20 px\xff\n")}) {
        ASSERT_TRUE(test::writeAll(path, bad));
        EXPECT_FALSE(profile::readFile(path)) << bad.left(8).toHex().toStdString();
    }
    EXPECT_FALSE(profile::readFile(dir.filePath(QStringLiteral("missing.clr"))));

    // A folder where the file should be: the write fails and nothing else changes.
    EXPECT_FALSE(profile::writeFile(dir.path(), text));
}

// The kept colour's sidecar beside a profile.
TEST(KeepSidecar, RoundTripsTellsAbsentFromDamagedAndTakesHandWrittenFiles) {
    EXPECT_EQ(sidecar::pathFor(QStringLiteral("/a/look.clr")), QStringLiteral("/a/look.keep"));
    EXPECT_EQ(sidecar::pathFor(QStringLiteral("/a.b/look")), QStringLiteral("/a.b/look.keep"));
    EXPECT_EQ(sidecar::pathFor(QStringLiteral("odd.keep")), QStringLiteral("odd.keep.keep"));

    KeepColourSettings keep{true, 359.75f, 0.1f, 180.0f};
    EXPECT_EQ(sidecar::text(keep, true),
              "keep=1\nhue=359.75\ntolerance=0.1\nfalloff=180.0\nbrush=edge-aware\n");

    QTemporaryDir folder;
    const QString profile = folder.filePath(QStringLiteral("look.clr"));
    const auto expectRead = [&](std::optional<sidecar::Extras> want, bool damagedWant) {
        bool damaged = !damagedWant;
        EXPECT_EQ(sidecar::read(profile, &damaged), want);
        EXPECT_EQ(damaged, damagedWant);
    };
    expectRead(std::nullopt, false);
    ASSERT_TRUE(sidecar::write(profile, keep, true));
    expectRead(sidecar::Extras{keep, true}, false);
    keep.on = false;
    ASSERT_TRUE(sidecar::write(profile, keep, false));
    EXPECT_EQ(sidecar::read(profile), (sidecar::Extras{keep, false}));
    for (const QByteArray& bad : {QByteArray("keep=yes\n"), QByteArray("keep=1\n\xff\xfe\n")}) {
        ASSERT_TRUE(test::writeAll(folder.filePath(QStringLiteral("look.keep")), bad));
        expectRead(std::nullopt, true);
    }

    // CRLF, blank lines, spaces and another order; what is left out keeps its default.
    const auto loose = sidecar::parse(
        QStringLiteral("\r\n brush = normal\r\nhue=0\r\n\r\nkeep=1\r\ntolerance=1e1\r\n"));
    ASSERT_TRUE(loose);
    EXPECT_TRUE(loose->keep.on);
    EXPECT_EQ(loose->keep.hue, 0.0f);
    EXPECT_EQ(loose->keep.tolerance, 10.0f);
    EXPECT_EQ(loose->keep.falloff, KeepColourSettings{}.falloff);
    EXPECT_FALSE(loose->edgeAware);
    EXPECT_TRUE(sidecar::parse(QStringLiteral("keep=0\nhue=360\ntolerance=180\nfalloff=0")));

    // No keep line, a key twice, values out of range or not numbers, an unknown brush or key;
    // one text per ";", "|" for a line break.
    const QStringList refused =
        QStringLiteral(";hue=10|brush=normal;keep=1|keep=1;keep=1|hue=5|hue=5;keep=2;keep=;"
                       "keep=1|brush=Edge-Aware;keep=1|hue=360.5;keep=1|hue=-1;"
                       "keep=1|tolerance=181;keep=1|falloff=-0.5;keep=1|falloff=nan;"
                       "keep=1|hue=inf;keep=1|hue=12,5;keep=1|hue 12;keep=1|tolerence=12")
            .split(QLatin1Char(';'));
    for (QString text : refused)
        EXPECT_FALSE(sidecar::parse(text.replace(QLatin1Char('|'), QLatin1Char('\n'))))
            << text.toStdString();
}

} // namespace
} // namespace vividra
