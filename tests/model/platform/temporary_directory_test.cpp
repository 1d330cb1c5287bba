#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "model/platform/temporary_directory.h"
#include "support/isolated_environment.h"

using namespace vividra;

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
