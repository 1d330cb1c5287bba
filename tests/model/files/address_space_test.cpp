// Memory running out for real: the process's address space is limited while a
// 100-megapixel picture is opened. Nothing is thrown or half-made, and with the limit
// lifted the same picture opens. (Rendering runs out through the pixel pool's own limit
// in the engine's tests.)
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include "model/effects/image_tools.h"
#include "tests/support/sample_pictures.h"
#include "tests/support/sanitizers.h"

namespace vividra {
namespace {

// The address space in use now, from the kernel's own count of pages.
qint64 addressSpaceInUse() {
    return test::readAll(QStringLiteral("/proc/self/statm")).split(' ').front().toLongLong() *
           sysconf(_SC_PAGESIZE);
}

TEST(AddressSpace, RunningOutOpeningA100MegapixelPictureIsAReason) {
#ifdef VIVIDRA_SANITIZED
    GTEST_SKIP() << "the sanitizers reserve terabytes of address space up front, so a limit "
                    "on it cannot be set here; this runs in the Release build";
#endif
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.png"));
    ASSERT_TRUE(test::writeAll(path, test::greyPng(10'000, 10'000, '\x60')));

    // Opening: 400 MB of pixels do not fit in 150 MB more.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(addressSpaceInUse() + (150 << 20));
    if (setrlimit(RLIMIT_AS, &limited) != 0)
        GTEST_SKIP() << "cannot limit the address space here";
    QString reason;
    const bool opened = ImageTools::readPicture(path, &reason).has_value();
    setrlimit(RLIMIT_AS, &saved);
    EXPECT_FALSE(opened);
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(ImageTools::readPicture(path).value().image.size(), QSize(10'000, 10'000));
}

} // namespace
} // namespace vividra
