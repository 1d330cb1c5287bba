// The folder form of the real vividra-fx, run as a user runs it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <vector>

#include "model/files/keep_sidecar.h"
#include "model/files/profile_file.h"
#include "tests/support/run_program.h"
#include "tests/support/sample_pictures.h"
#include "tests/support/subject_scenes.h"
#include "tests/support/test_pictures.h"

namespace vividra {
namespace {

using test::FxRun;

// Runs vividra-fx with the words of `line`: the tests' paths hold no spaces.
FxRun fx(const QString& line) {
    return test::runFx(line.split(QLatin1Char(' '), Qt::SkipEmptyParts));
}

// A profile whose background is black and white, with `keep` as its sidecar if given.
QString writeProfile(const QTemporaryDir& folder, const QString& keep = QString()) {
    EditSettings settings;
    settings.background.blackWhiteOn = true;
    const QString path = folder.filePath(QStringLiteral("look.clr"));
    EXPECT_TRUE(profile::writeFile(path, profile::text(settings, settings.brushLabel())));
    QFile::remove(sidecar::pathFor(path));
    EXPECT_TRUE(keep.isEmpty() || profile::writeFile(sidecar::pathFor(path), keep));
    return path;
}

// Damaged inputs are reported and the rest written; outputs never replace an input, even
// in the inputs' own folder named by a different path to it, and shared names are numbered.
TEST(FxFolder, WritesWhatItCanReportsTheRestAndLeavesTheInputsAlone) {
    QTemporaryDir folder;
    const QString profile = writeProfile(folder);
    const QString in = folder.filePath(QStringLiteral("in/"));
    const QByteArray jpeg = test::qtJpeg(test::photoLike(64, 48), 90, false);
    // Cut off after the header: readable in part, so only our own check refuses it.
    const QByteArray cut = jpeg.left(jpeg.size() * 3 / 4);
    ASSERT_TRUE(test::writeAll(in + QStringLiteral("a.jpg"), jpeg));
    ASSERT_TRUE(test::writeAll(in + QStringLiteral("c.jpg"), cut));
    ASSERT_TRUE(QDir().mkpath(in + QStringLiteral("other")));
    ASSERT_TRUE(test::photoLike(40, 30, 3).save(in + QStringLiteral("b.png")));
    ASSERT_TRUE(test::photoLike(30, 10).save(in + QStringLiteral("other/b.png")));
    const QByteArray png = test::readAll(in + QStringLiteral("b.png"));
    const QString out = folder.filePath(QStringLiteral("out/new"));

    const FxRun run =
        fx(QStringLiteral("--profile %1 %2a.jpg %2c.jpg %2b.png --out %3").arg(profile, in, out));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.log.contains(in + QStringLiteral("c.jpg: damaged")) &&
                run.log.contains(QStringLiteral("2 of 3 pictures written")))
        << run.log.toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files), (QStringList{"a.jpg", "b.png"}));
    const QImage a(out + QStringLiteral("/a.jpg"));
    const QImage b(out + QStringLiteral("/b.png"));
    ASSERT_EQ(a.size(), QSize(64, 48));
    ASSERT_EQ(b.size(), QSize(40, 30));
    // The profile's black and white background, no colour kept.
    EXPECT_TRUE(test::isGrey(a.pixel(50, 10)) && test::isGrey(b.pixel(30, 20)));

    const FxRun inPlace =
        fx(QStringLiteral("--profile %1 %2b.png %2other/b.png --out %2other/..").arg(profile, in));
    EXPECT_EQ(inPlace.status, 1);
    EXPECT_TRUE(inPlace.log.contains(in + QStringLiteral("b.png: not written")))
        << inPlace.log.toStdString();
    EXPECT_EQ(QImage(in + QStringLiteral("b (2).png")).size(), QSize(30, 10));
    for (const auto& [name, bytes] : {std::pair{"a.jpg", jpeg}, {"b.png", png}, {"c.jpg", cut}})
        EXPECT_EQ(test::readAll(in + QLatin1String(name)), bytes) << name;
}

TEST(FxFolder, KeepsTheColourFromTheCommandLineOrTheSidecar) {
    QTemporaryDir folder;
    QImage picture(80, 60, QImage::Format_RGB32);
    picture.fill(QColor(40, 170, 40));
    QPainter(&picture).fillRect(30, 20, 20, 20, QColor(210, 30, 25));
    const QString input = folder.filePath(QStringLiteral("square.png"));
    ASSERT_TRUE(picture.save(input));
    const QString out = folder.filePath(QStringLiteral("out"));
    const QString plain = writeProfile(folder);
    // square, field: the colours of the result's centre and corner.
    const auto splash = [&](const QString& profile, const QString& options = {}) {
        QFile::remove(out + QStringLiteral("/square.png"));
        const FxRun run =
            fx(QStringLiteral("--profile %1 %2 --out %3 %4").arg(profile, input, out, options));
        EXPECT_EQ(run.status, 0) << run.log.toStdString();
        const QImage result(out + QStringLiteral("/square.png"));
        return std::pair{result.pixel(40, 30), result.pixel(3, 3)};
    };
    const QRgb red = qRgb(210, 30, 25), green = qRgb(40, 170, 40);

    auto [square, field] = splash(plain, QStringLiteral("--keep-hue 355 --tolerance 15"));
    EXPECT_EQ(square, red);
    EXPECT_TRUE(test::isGrey(field) && field != green);
    std::tie(square, field) = splash(plain);
    EXPECT_TRUE(test::isGrey(square));

    const QString kept = writeProfile(folder, QStringLiteral("keep=1\nhue=2\ntolerance=10\n"));
    std::tie(square, field) = splash(kept);
    EXPECT_EQ(square, red);
    EXPECT_TRUE(test::isGrey(field));
    // The command line's hue wins over the sidecar's.
    std::tie(square, field) = splash(kept, QStringLiteral("--keep-hue=120"));
    EXPECT_TRUE(test::isGrey(square));
    EXPECT_EQ(field, green);

    const QString damaged = writeProfile(folder, QStringLiteral("keep=1\nhue=red\n"));
    const FxRun refused =
        fx(QStringLiteral("--profile %1 %2 --out %3/never").arg(damaged, input, out));
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.log.contains(QStringLiteral("look.keep is damaged")))
        << refused.log.toStdString();
}

// The scene's subject shares its red with patches of the field, so no kept hue separates them.
TEST(FxFolder, SelectsTheSubjectInsideTheBox) {
    QTemporaryDir folder;
    const testing::SubjectScene s =
        testing::makeSubjectScene(testing::SceneKind::patchedDisc, 200, 150);
    const QString input = folder.filePath(QStringLiteral("scene.png"));
    ASSERT_TRUE(
        QImage(s.rgba.data(), s.width, s.height, s.width * 4, QImage::Format_RGBA8888).save(input));
    const QString out = folder.filePath(QStringLiteral("out"));
    const FxRun run = fx(QStringLiteral("--profile %1 --subject 46,21,108,108 %2 --out %3")
                             .arg(writeProfile(folder), input, out));
    ASSERT_EQ(run.status, 0) << run.log.toStdString();
    const QImage result(out + QStringLiteral("/scene.png"));
    EXPECT_FALSE(test::isGrey(result.pixel(100, 75)));
    EXPECT_TRUE(test::isGrey(result.pixel(5, 5)) && test::isGrey(result.pixel(195, 145)));
}

} // namespace
} // namespace vividra
