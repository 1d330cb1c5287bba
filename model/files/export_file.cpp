#include "model/files/export_file.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "model/effects/image_tools.h"
#include "model/platform/log.h"

namespace vividra::exporting {
namespace {

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// The permissions a new file gets: 0666 less the process's umask, read without changing it.
mode_t newFileMode() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return static_cast<mode_t>(0666 & ~mask);
            }
        }
    }
    return 0644;
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

QStringList formatEntries() {
    QStringList entries{QStringLiteral("JPG"),  QStringLiteral("JPEG"), QStringLiteral("JPE"),
                        QStringLiteral("JP2"),  QStringLiteral("JPX"),  QStringLiteral("PNG"),
                        QStringLiteral("TIFF"), QStringLiteral("TIF"),  QStringLiteral("GIF"),
                        QStringLiteral("BMP")};
    if (ImageTools::heicEncodingAvailable())
        entries << QStringLiteral("HEIF") << QStringLiteral("HEIC");
    entries << QStringLiteral("Original");
    return entries;
}

const QStringList& dialogExtensions() {
    return ImageTools::pictureFileExtensions();
}

QString suggestedName(const QString& originalPath, const QString& entry) {
    const QFileInfo original(originalPath);
    const QString extension = entry == QStringLiteral("Original") ? original.suffix() : entry;
    return original.completeBaseName() + QStringLiteral("_edited.") + extension;
}

QString temporaryPath(const QString& folder, const QString& originalPath, const QString& entry,
                      qint64 milliseconds) {
    const QString extension =
        entry == QStringLiteral("Original") ? QFileInfo(originalPath).suffix() : entry.toLower();
    return folder + QStringLiteral("finalImage") + QString::number(milliseconds) +
           QLatin1Char('.') + extension;
}

QString destinationPath(const QString& chosen, const QString& entry, const QString& originalPath) {
    if (dialogExtensions().contains(QFileInfo(chosen).suffix(), Qt::CaseInsensitive))
        return chosen;
    const QString extension =
        entry == QStringLiteral("Original") ? QFileInfo(originalPath).suffix() : entry.toLower();
    return chosen + QLatin1Char('.') + extension;
}

int encodingCode(const QString& destination, const QString& originalPath) {
    const int code = ImageTools::formatCode(QFileInfo(destination).suffix().toLower());
    if (code >= 0)
        return code;
    return ImageTools::formatCode(QFileInfo(originalPath).suffix().toLower());
}

bool replaceWithCopy(const QString& source, const QString& destination, QString* error,
                     const std::atomic<bool>* cancel) {
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo target(destination);
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return fail(systemError(errno));
    // Hidden, beside the destination, so the final rename stays within one file system.
    QByteArray hidden = QFile::encodeName(target.absolutePath() + QStringLiteral("/.") +
                                          target.fileName() + QStringLiteral(".XXXXXX"));
    const int out = ::mkostemp(hidden.data(), O_CLOEXEC);
    if (out < 0) {
        const int code = errno;
        ::close(in);
        return fail(systemError(code));
    }
    int code = 0;
    bool cancelled = false;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        if (cancel && cancel->load()) {
            cancelled = true;
            break;
        }
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            code = errno;
            break;
        }
        if (n == 0)
            break;
        if (!writeAll(out, buffer.data(), static_cast<size_t>(n))) {
            code = errno;
            break;
        }
    }
    ::close(in);
    struct stat old {};
    const mode_t mode = ::stat(QFile::encodeName(destination).constData(), &old) == 0
                            ? (old.st_mode & 07777)
                            : newFileMode();
    if (code == 0 && !cancelled && (::fchmod(out, mode) != 0 || ::fsync(out) != 0))
        code = errno;
    if (::close(out) != 0 && code == 0)
        code = errno;
    if (code == 0 && !cancelled &&
        ::rename(hidden.constData(), QFile::encodeName(destination).constData()) != 0)
        code = errno;
    if (code != 0 || cancelled) {
        ::unlink(hidden.constData());
        return cancelled ? fail(QStringLiteral("Cancelled")) : fail(systemError(code));
    }
    return true;
}

Outcome run(const Request& request, const std::atomic<bool>& cancel, QString* error) {
    const auto removeTemporary = [&request] {
        QFile file(request.temporary);
        if (file.exists() && !file.remove())
            return false;
        return true;
    };
    if (QFile::exists(request.temporary)) {
        QFile old(request.temporary);
        if (!old.remove())
            platform::logLine(QStringLiteral("Remove failed: ") + old.errorString());
    }
    if (cancel.load())
        return Outcome::cancelled;
    if (!ImageTools::writeImage(request.picture, request.temporary, request.code, 1.0)) {
        removeTemporary();
        return Outcome::encodeFailed;
    }
    if (cancel.load()) {
        removeTemporary();
        return Outcome::cancelled;
    }
    QString why;
    const bool copied = replaceWithCopy(request.temporary, request.destination, &why, &cancel);
    if (!copied && cancel.load()) {
        removeTemporary();
        return Outcome::cancelled;
    }
    QFile temporary(request.temporary);
    if (!temporary.remove() && copied)
        why = temporary.errorString();
    if (!copied || !why.isEmpty()) {
        if (error)
            *error = why;
        return Outcome::copyFailed;
    }
    return Outcome::saved;
}

} // namespace vividra::exporting
