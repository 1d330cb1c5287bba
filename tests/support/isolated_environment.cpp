#include "isolated_environment.h"

#include <QDir>
#include <QSettings>

#include "model/platform/file_manager.h"
#include "model/platform/temporary_directory.h"

namespace vividra::test {

IsolatedEnvironment::IsolatedEnvironment() : oldTmp_(qgetenv("TMPDIR")) {
    QDir(root_.path()).mkpath(QStringLiteral("tmp"));
    QDir(root_.path()).mkpath(QStringLiteral("config"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       root_.path() + QStringLiteral("/config"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       root_.path() + QStringLiteral("/config"));
    platform::removeTemporaryDirectory();
    qputenv("TMPDIR", systemTemp().toLocal8Bit());
    platform::setRemoveFunction(nullptr);
}

IsolatedEnvironment::~IsolatedEnvironment() {
    platform::removeTemporaryDirectory();
    platform::setRemoveFunction(nullptr);
    if (oldTmp_.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", oldTmp_);
}

} // namespace vividra::test
