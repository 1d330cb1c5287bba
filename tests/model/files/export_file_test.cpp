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

using test::readAll;

TEST(ExportFile, NamesComeFromTheEntryAndCodesFromTheDestination) {
    EXPECT_EQ(exporting::suggestedName("/p/IMG_1.JPG", "Original"), "IMG_1_edited.JPG");
    EXPECT_EQ(exporting::suggestedName("/p/beach.jpg", "PNG"), "beach_edited.PNG");
    EXPECT_EQ(exporting::suggestedName("/p/a.b.heic", "HEIF"), "a.b_edited.HEIF");
    EXPECT_EQ(exporting::temporaryPath("/t/", "/p/IMG_1.JPG", "Original", 1234),
              "/t/finalImage1234.JPG");
    EXPECT_EQ(exporting::temporaryPath("/t/", "/p/IMG_1.JPG", "PNG", 99), "/t/finalImage99.png");
    EXPECT_EQ(exporting::encodingCode("/o/IMG_1_edited.JPG", "/p/IMG_1.JPG"), 0);
    EXPECT_EQ(exporting::encodingCode("/o/beach_edited.TIF", "/p/beach.jpg"), 7);
    EXPECT_EQ(exporting::encodingCode("/o/beach_edited.xyz", "/p/beach.PNG"), 5);
    EXPECT_EQ(exporting::encodingCode("/o/beach_edited", "/p/beach.webp"), -1);
    EXPECT_EQ(exporting::destinationPath("/o/beach_edited", "PNG", "/p/b.jpg"),
              "/o/beach_edited.png");
    EXPECT_EQ(exporting::destinationPath("/o/beach.webp", "Original", "/p/b.JPG"),
              "/o/beach.webp.JPG");
    EXPECT_EQ(exporting::destinationPath("/o/beach.Tif", "PNG", "/p/b.jpg"), "/o/beach.Tif");
    const QStringList entries = exporting::formatEntries();
    EXPECT_EQ(entries.front(), "JPG");
    EXPECT_EQ(entries.back(), "Original");
    EXPECT_EQ(entries.contains("HEIC"), ImageTools::heicEncodingAvailable());
}

struct Folder {
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList entries() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

TEST(ExportFile, AnExportThatFailsOrIsCancelledLeavesTheOldFileAndNoLeftovers) {
    Folder folder;
    const QString destination = folder.path("out.png");
    const QByteArray old = "the picture exported yesterday";
    ASSERT_TRUE(test::writeAll(destination, old));
    exporting::Request request;
    request.picture = Picture(test::photoLike(64, 48));
    request.temporary = folder.path("finalImage1.png");
    request.destination = destination;
    std::atomic<bool> cancel{false};
    QString error;

    request.code = -1;
    EXPECT_EQ(exporting::run(request, cancel, &error), exporting::Outcome::encodeFailed);
    cancel = true;
    request.code = 5;
    EXPECT_EQ(exporting::run(request, cancel, &error), exporting::Outcome::cancelled);
    EXPECT_EQ(readAll(destination), old);
    EXPECT_EQ(folder.entries(), QStringList{"out.png"});

    // A destination folder that is not there: the copy fails and says why.
    cancel = false;
    request.destination = folder.path("gone/out.png");
    EXPECT_EQ(exporting::run(request, cancel, &error), exporting::Outcome::copyFailed);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(folder.entries(), QStringList{"out.png"});

    request.destination = destination;
    EXPECT_EQ(exporting::run(request, cancel, &error), exporting::Outcome::saved);
    EXPECT_TRUE(readAll(destination).startsWith("\x89PNG"));
    EXPECT_EQ(folder.entries(), QStringList{"out.png"});
    EXPECT_EQ(QFile::permissions(destination) & QFile::WriteOwner, QFile::WriteOwner);
}

TEST(ExportFile, AFullDiskKeepsTheOldFileByteForByte) {
    Folder folder;
    const QString destination = folder.path("out.bmp");
    const QByteArray old(1000, 'o');
    ASSERT_TRUE(test::writeAll(destination, old));
    // Encoded outside the limit: a 300 × 300 BMP of over 300 kB.
    const QString big = folder.path("big.bmp");
    ASSERT_TRUE(ImageTools::writeImage(Picture(test::photoLike(300, 300)), big, 9, 1.0));

    test::FileSizeLimit limit(64 * 1024);
    if (!limit.ok())
        GTEST_SKIP() << "cannot limit the file size here";
    QString error;
    const bool copied = exporting::replaceWithCopy(big, destination, &error);
    exporting::Request request;
    request.picture = Picture(test::photoLike(300, 300));
    request.temporary = folder.path("finalImage2.bmp");
    request.destination = destination;
    request.code = 9;
    std::atomic<bool> cancel{false};
    const exporting::Outcome outcome = exporting::run(request, cancel, &error);
    limit.lift();
    EXPECT_FALSE(copied);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(outcome, exporting::Outcome::encodeFailed);
    EXPECT_EQ(readAll(destination), old);
    EXPECT_EQ(folder.entries(), (QStringList{"big.bmp", "out.bmp"}));
}

} // namespace
} // namespace vividra
