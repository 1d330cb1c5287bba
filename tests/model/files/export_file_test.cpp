#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "model/effects/image_tools.h"
#include "model/files/export_file.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/sample_pictures.h"

namespace vividra {
namespace {

using namespace exporting;
using test::readAll;

TEST(ExportFile, NamesComeFromTheEntryAndCodesFromTheDestination) {
    EXPECT_EQ(suggestedName("/p/IMG_1.JPG", "Original"), "IMG_1_edited.JPG");
    EXPECT_EQ(suggestedName("/p/beach.jpg", "PNG"), "beach_edited.PNG");
    EXPECT_EQ(suggestedName("/p/a.b.heic", "HEIF"), "a.b_edited.HEIF");
    EXPECT_EQ(temporaryPath("/t/", "/p/IMG_1.JPG", "Original", 1234), "/t/finalImage1234.JPG");
    EXPECT_EQ(temporaryPath("/t/", "/p/IMG_1.JPG", "PNG", 99), "/t/finalImage99.png");
    EXPECT_EQ(encodingCode("/o/IMG_1_edited.JPG", "/p/IMG_1.JPG"), 0);
    EXPECT_EQ(encodingCode("/o/beach_edited.TIF", "/p/beach.jpg"), 7);
    EXPECT_EQ(encodingCode("/o/beach_edited.xyz", "/p/beach.PNG"), 5);
    EXPECT_EQ(encodingCode("/o/beach_edited", "/p/beach.webp"), -1);
    EXPECT_EQ(destinationPath("/o/beach_edited", "PNG", "/p/b.jpg"), "/o/beach_edited.png");
    EXPECT_EQ(destinationPath("/o/beach.webp", "Original", "/p/b.JPG"), "/o/beach.webp.JPG");
    EXPECT_EQ(destinationPath("/o/beach.Tif", "PNG", "/p/b.jpg"), "/o/beach.Tif");
    const QStringList entries = formatEntries();
    EXPECT_EQ(entries.front(), "JPG");
    EXPECT_EQ(entries.back(), "Original");
    EXPECT_EQ(entries.contains("HEIC"), ImageTools::heicEncodingAvailable());
}

// Each way an export fails leaves the file there as it was and nothing beside it; the
// successful export is then the old file a full disk must keep.
TEST(ExportFile, AFailedCancelledOrDiskFullExportLeavesTheOldFileAndNoLeftovers) {
    QTemporaryDir dir;
    const auto entries = [&dir] {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    const QString destination = dir.filePath(QStringLiteral("out.bmp"));
    const QByteArray old = "the picture exported yesterday";
    ASSERT_TRUE(test::writeAll(destination, old));
    Request request;
    request.picture = Picture(test::photoLike(300, 300)); // as a BMP, over 300 kB
    request.temporary = dir.filePath(QStringLiteral("finalImage1.bmp"));
    request.destination = destination;
    std::atomic<bool> cancel{false};
    QString error;

    request.code = -1;
    EXPECT_EQ(run(request, cancel, &error), Outcome::encodeFailed);
    cancel = true;
    request.code = 9;
    EXPECT_EQ(run(request, cancel, &error), Outcome::cancelled);
    EXPECT_EQ(readAll(destination), old);
    EXPECT_EQ(entries(), QStringList{"out.bmp"});

    // A destination folder that is not there: the copy fails and says why.
    cancel = false;
    request.destination = dir.filePath(QStringLiteral("gone/out.bmp"));
    EXPECT_EQ(run(request, cancel, &error), Outcome::copyFailed);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(entries(), QStringList{"out.bmp"});

    request.destination = destination;
    EXPECT_EQ(run(request, cancel, &error), Outcome::saved);
    const QByteArray exported = readAll(destination);
    EXPECT_TRUE(exported.startsWith("BM"));
    EXPECT_EQ(entries(), QStringList{"out.bmp"});
    EXPECT_EQ(QFile::permissions(destination) & QFile::WriteOwner, QFile::WriteOwner);

    // Another picture, encoded before the disk fills, copied or exported over it.
    const QString big = dir.filePath(QStringLiteral("big.bmp"));
    request.picture = Picture(test::photoLike(300, 300, 9));
    ASSERT_TRUE(ImageTools::writeImage(request.picture, big, 9, 1.0));
    test::FileSizeLimit limit(64 * 1024);
    if (!limit.ok())
        GTEST_SKIP() << "cannot limit the file size here";
    error.clear();
    const bool copied = replaceWithCopy(big, destination, &error);
    const Outcome outcome = run(request, cancel, &error);
    limit.lift();
    EXPECT_FALSE(copied);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(outcome, Outcome::encodeFailed);
    EXPECT_EQ(readAll(destination), exported);
    EXPECT_EQ(entries(), (QStringList{"big.bmp", "out.bmp"}));
}

} // namespace
} // namespace vividra
