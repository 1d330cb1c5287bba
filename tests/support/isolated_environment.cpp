#include "isolated_environment.h"

#include <QDir>
#include <QSettings>

#include "model/platform/file_manager.h"
#include "model/platform/temporary_directory.h"

namespace vividra::test {

IsolatedEnvironment::IsolatedEnvironment()
    : oldTmp_(qgetenv("TMPDIR")), oldData_(qgetenv("XDG_DATA_HOME")) {
    QDir(root_.path()).mkpath(QStringLiteral("tmp"));
    QDir(root_.path()).mkpath(QStringLiteral("config"));
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, root_.path() + QStringLiteral("/config"));
    platform::removeTemporaryDirectory();
    qputenv("TMPDIR", systemTemp().toLocal8Bit());
    // Kept work goes here, never into the user's own folder.
    qputenv("XDG_DATA_HOME", (root_.path() + QStringLiteral("/data")).toLocal8Bit());
    platform::setRemoveFunction(nullptr);
}

IsolatedEnvironment::~IsolatedEnvironment() {
    platform::removeTemporaryDirectory();
    platform::setRemoveFunction(nullptr);
    for (const auto& [name, old] : {std::pair{"TMPDIR", oldTmp_}, {"XDG_DATA_HOME", oldData_}})
        old.isNull() ? qunsetenv(name) : qputenv(name, old);
}

} // namespace vividra::test
