#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "model/platform/help_page.h"
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
