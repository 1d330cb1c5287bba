#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "model/files/keep_sidecar.h"
#include "tests/support/sample_pictures.h"

namespace vividra {
namespace {

TEST(KeepSidecar, RoundTripsBesideTheProfileAndTellsAbsentFromDamaged) {
    EXPECT_EQ(sidecar::pathFor(QStringLiteral("/a/look.clr")), QStringLiteral("/a/look.keep"));
    EXPECT_EQ(sidecar::pathFor(QStringLiteral("/a.b/look")), QStringLiteral("/a.b/look.keep"));
    EXPECT_EQ(sidecar::pathFor(QStringLiteral("odd.keep")), QStringLiteral("odd.keep.keep"));

    KeepColourSettings keep;
    keep.on = true;
    keep.hue = 359.75f;
    keep.tolerance = 0.1f;
    keep.falloff = 180.0f;
    EXPECT_EQ(sidecar::text(keep, true),
              "keep=1\nhue=359.75\ntolerance=0.1\nfalloff=180.0\nbrush=edge-aware\n");

    QTemporaryDir folder;
    const QString profile = folder.filePath(QStringLiteral("look.clr"));
    bool damaged = true;
    EXPECT_FALSE(sidecar::read(profile, &damaged));
    EXPECT_FALSE(damaged);

    ASSERT_TRUE(sidecar::write(profile, keep, true));
    EXPECT_EQ(sidecar::read(profile, &damaged), (sidecar::Extras{keep, true}));
    EXPECT_FALSE(damaged);
    keep.on = false;
    ASSERT_TRUE(sidecar::write(profile, keep, false));
    EXPECT_EQ(sidecar::read(profile), (sidecar::Extras{keep, false}));

    ASSERT_TRUE(test::writeAll(folder.filePath(QStringLiteral("look.keep")), "keep=yes\n"));
    EXPECT_FALSE(sidecar::read(profile, &damaged));
    EXPECT_TRUE(damaged);
    ASSERT_TRUE(test::writeAll(folder.filePath(QStringLiteral("look.keep")),
                               QByteArray("keep=1\n\xff\xfe\n")));
    EXPECT_FALSE(sidecar::read(profile, &damaged));
    EXPECT_TRUE(damaged);
}

TEST(KeepSidecar, AcceptsHandWrittenFilesAndRefusesWhatIsNotASidecar) {
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

    // No keep line, a key twice, values out of range or not numbers, an unknown brush or key.
    const char* refused[] = {"",
                             "hue=10\nbrush=normal",
                             "keep=1\nkeep=1",
                             "keep=1\nhue=5\nhue=5",
                             "keep=2",
                             "keep=",
                             "keep=1\nbrush=soft",
                             "keep=1\nbrush=Edge-Aware",
                             "keep=1\nhue=360.5",
                             "keep=1\nhue=-1",
                             "keep=1\ntolerance=181",
                             "keep=1\nfalloff=-0.5",
                             "keep=1\nfalloff=nan",
                             "keep=1\nhue=inf",
                             "keep=1\nhue=12,5",
                             "keep=1\nhue=",
                             "keep=1\nhue 12",
                             "keep=1\ntolerence=12"};
    for (const char* text : refused)
        EXPECT_FALSE(sidecar::parse(QString::fromLatin1(text))) << text;
}

} // namespace
} // namespace vividra
