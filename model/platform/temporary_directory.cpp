#include "model/platform/temporary_directory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <mutex>

namespace vividra::platform {
namespace {

const QString kPrefix = QStringLiteral("vividra-");

std::mutex& guard() {
    static std::mutex m;
    return m;
}
QString& current() {
    static QString path;
    return path;
}

bool processIsAlive(qint64 pid) {
    return pid > 0 && QFile::exists(QStringLiteral("/proc/%1").arg(pid));
}

// Folders are named vividra-<pid>-<random>; one whose process is gone was left
// by an instance that crashed.
void removeLeftovers(const QDir& base) {
    const auto entries =
        base.entryList({kPrefix + QStringLiteral("*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : entries) {
        const QStringList parts = name.mid(kPrefix.size()).split(QLatin1Char('-'));
        if (parts.size() != 2)
            continue;
        bool ok = false;
        const qint64 pid = parts.front().toLongLong(&ok);
        if (ok && !processIsAlive(pid))
            QDir(base.filePath(name)).removeRecursively();
    }
}

// The system temporary folder as configured. Qt answers an empty path for one that
// does not exist, which as a folder would be the current one.
QString systemFolder() {
    const QString resolved = QDir::tempPath();
    if (!resolved.isEmpty())
        return resolved;
    const QString configured = qEnvironmentVariable("TMPDIR");
    return QDir::cleanPath(configured.isEmpty() ? QStringLiteral("/tmp") : configured);
}

} // namespace

QString temporaryDirectory() {
    std::lock_guard lock(guard());
    QString& path = current();
    if (!path.isEmpty() && QDir(path).exists())
        return path;
    const QDir base(systemFolder());
    const bool exists = !QDir::tempPath().isEmpty();
    if (exists)
        removeLeftovers(base);
    for (int attempt = 0; exists && attempt < 100; ++attempt) {
        const QString name = kPrefix + QString::number(QCoreApplication::applicationPid()) +
                             QLatin1Char('-') +
                             QString::number(QRandomGenerator::global()->generate(), 36);
        if (base.mkdir(name)) {
            QFile::setPermissions(base.filePath(name),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            path = base.filePath(name) + QLatin1Char('/');
            return path;
        }
    }
    // Nowhere to write: fall back to the system folder itself so callers still get a path.
    path = base.path() + QLatin1Char('/');
    return path;
}

QString temporaryDirectoryProblem() {
    const QString path = temporaryDirectory();
    if (QDir(path).dirName().startsWith(kPrefix))
        return {};
    return QStringLiteral("Vividra cannot write to the temporary folder \"%1\". You can still "
                          "edit and export pictures, but pictures dragged in from other "
                          "programs cannot be received.")
        .arg(QDir::toNativeSeparators(systemFolder()));
}

void removeTemporaryDirectory() {
    std::lock_guard lock(guard());
    QString& path = current();
    if (!path.isEmpty() && QDir(path).dirName().startsWith(kPrefix))
        QDir(path).removeRecursively();
    path.clear();
}

} // namespace vividra::platform
