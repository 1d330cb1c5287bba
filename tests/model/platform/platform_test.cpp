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
    const auto at = [&r](const char* path) { return r.filePath(QLatin1String(path)); };
    const QString bin = at("prefix/bin"), data = at("data"), inData = at("data/help/index.html");
    const QString beside = at("prefix/share/vividra/help/index.html");
    const QString inSources = at("src/resources/help/index.html");
    const QString note = bin + QStringLiteral("/vividra-source-dir");
    for (const QString& page : {beside, inData, inSources})
        ASSERT_TRUE(test::writeAll(page, "<html></html>"));
    ASSERT_TRUE(test::writeAll(note, at("src").toUtf8() + "\n"));
    const auto found = [&] { return platform::findHelpPage(bin, data).toStdString(); };

    for (const QString& page : {beside, inData, inSources}) {
        EXPECT_EQ(found(), page.toStdString());
        ASSERT_TRUE(page == inSources || QFile::remove(page));
    }

    // Without the build folder's note the sources are never looked at.
    ASSERT_TRUE(QFile::remove(note));
    EXPECT_EQ(found(), "");
    for (const QByteArray& elsewhere : {QByteArray(), at("elsewhere").toUtf8()}) {
        ASSERT_TRUE(test::writeAll(note, elsewhere));
        EXPECT_EQ(found(), "");
    }
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
    EXPECT_TRUE(path.endsWith(QLatin1Char('/')) && path.startsWith(base.path()));
    EXPECT_TRUE(QDir(path).exists());
    EXPECT_EQ(platform::temporaryDirectory(), path); // one folder per run
    EXPECT_EQ(QFile::permissions(path) & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup),
              0);
    EXPECT_FALSE(base.exists(QStringLiteral("vividra-999999999-dead")));
    EXPECT_TRUE(base.exists(alive));
    EXPECT_TRUE(base.exists(QStringLiteral("vividra-notanumber-x")));

    ASSERT_TRUE(test::writeAll(path + QStringLiteral("image1.png"), "pixels"));
    platform::removeTemporaryDirectory();
    EXPECT_FALSE(QDir(path).exists());
    EXPECT_NE(platform::temporaryDirectory(), path);
}
