// Memory running out for real: the process's address space is limited while a
// 100-megapixel picture is opened. Nothing is thrown or half-made, and with the limit
// lifted the same picture opens. (Rendering runs out through the pixel pool's own limit
// in the engine's tests.)
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include "model/effects/image_tools.h"
#include "tests/support/sample_pictures.h"
#include "tests/support/sanitizers.h"

namespace vividra {
namespace {

// The address space in use now, from the kernel's own count.
qint64 addressSpaceInUse() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmSize:"))
            return line.mid(7).trimmed().split(' ').front().toLongLong() * 1024;
    return -1;
}

// Limits the address space to what is in use plus `headroom` for its lifetime.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(qint64 headroom) {
        ok_ = getrlimit(RLIMIT_AS, &saved_) == 0;
        rlimit limited = saved_;
        limited.rlim_cur = static_cast<rlim_t>(addressSpaceInUse() + headroom);
        ok_ = ok_ && setrlimit(RLIMIT_AS, &limited) == 0;
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &saved_); }
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    bool ok_ = false;
};

TEST(AddressSpace, RunningOutOpeningA100MegapixelPictureIsAReason) {
#ifdef VIVIDRA_SANITIZED
    GTEST_SKIP() << "the sanitizers reserve terabytes of address space up front, so a limit "
                    "on it cannot be set here; this runs in the Release build";
#endif
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.png"));
    ASSERT_TRUE(test::writeAll(path, test::greyPng(10'000, 10'000, '\x60')));

    // Opening: 400 MB of pixels do not fit in 150 MB more.
    {
        AddressSpaceLimit limit(150 << 20);
        if (!limit.ok())
            GTEST_SKIP() << "cannot limit the address space here";
        QString reason;
        EXPECT_FALSE(ImageTools::readPicture(path, &reason));
        EXPECT_FALSE(reason.isEmpty());
    }
    const std::optional<Picture> picture = ImageTools::readPicture(path);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->image.size(), QSize(10'000, 10'000));
}

} // namespace
} // namespace vividra
