#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "model/platform/help_page.h"
#include "model/platform/temporary_directory.h"
#include "support/isolated_environment.h"
#include "tests/support/sample_pictures.h"

using namespace vividra;

TEST(HelpPage, BesideTheProgramThenDataFolderThenSourcesOfABuildFolder) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QDir r(QFileInfo(root.path()).canonicalFilePath());
    const QString bin = r.filePath(QStringLiteral("prefix/bin"));
    const QString beside = r.filePath(QStringLiteral("prefix/share/vividra/help/index.html"));
    const QString data = r.filePath(QStringLiteral("data"));
    const QString inData = r.filePath(QStringLiteral("data/help/index.html"));
    const QString inSources = r.filePath(QStringLiteral("src/resources/help/index.html"));
    const QString note = bin + QStringLiteral("/vividra-source-dir");
    for (const QString& page : {beside, inData, inSources})
        ASSERT_TRUE(test::writeAll(page, "<html></html>"));
    ASSERT_TRUE(test::writeAll(note, r.filePath(QStringLiteral("src")).toUtf8() + "\n"));
    const auto found = [&] { return platform::findHelpPage(bin, data).toStdString(); };

    EXPECT_EQ(found(), beside.toStdString());
    ASSERT_TRUE(QFile::remove(beside));
    EXPECT_EQ(found(), inData.toStdString());
    ASSERT_TRUE(QFile::remove(inData));
    EXPECT_EQ(found(), inSources.toStdString());

    // Without the build folder's note the sources are never looked at.
    ASSERT_TRUE(QFile::remove(note));
    EXPECT_EQ(found(), "");
    ASSERT_TRUE(test::writeAll(note, ""));
    EXPECT_EQ(found(), "");
    ASSERT_TRUE(test::writeAll(note, r.filePath(QStringLiteral("elsewhere")).toUtf8()));
    EXPECT_EQ(found(), "");
}

TEST(TemporaryDirectory, PrivateFolderAndLeftoversOfDeadInstances) {
    const test::IsolatedEnvironment environment;
    const QDir base(environment.systemTemp());
    // A crashed instance (no such process) and a running one (ourselves, under another name).
    ASSERT_TRUE(base.mkpath(QStringLiteral("vividra-999999999-dead/PhotosImages")));
    const QString alive =
        QStringLiteral("vividra-%1-alive").arg(QCoreApplication::applicationPid());
    ASSERT_TRUE(base.mkpath(alive));
    ASSERT_TRUE(base.mkpath(QStringLiteral("vividra-notanumber-x")));

    const QString path = platform::temporaryDirectory();
    EXPECT_TRUE(path.endsWith(QLatin1Char('/')));
    EXPECT_TRUE(path.startsWith(base.path()));
    EXPECT_TRUE(QDir(path).exists());
    EXPECT_EQ(platform::temporaryDirectory(), path); // one folder per run
    EXPECT_EQ(QFile::permissions(path) & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup),
              0);
    EXPECT_FALSE(base.exists(QStringLiteral("vividra-999999999-dead")));
    EXPECT_TRUE(base.exists(alive));
    EXPECT_TRUE(base.exists(QStringLiteral("vividra-notanumber-x")));

    QFile f(path + QStringLiteral("image1.png"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    platform::removeTemporaryDirectory();
    EXPECT_FALSE(QDir(path).exists());
    EXPECT_NE(platform::temporaryDirectory(), path);
}
