#include "model/platform/file_manager.h"

#include <filesystem>
#include <system_error>

#include "model/platform/log.h"

namespace vividra::platform {
namespace {

bool removeFromDisk(const QString& path, QString* error) {
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(path.toStdString()), ec);
    if (ec) {
        if (error)
            *error = QString::fromStdString(ec.message()) + QStringLiteral(" (") + path +
                     QLatin1Char(')');
        return false;
    }
    return true;
}

RemoveFunction& override() {
    static RemoveFunction fn;
    return fn;
}

} // namespace

bool removeItem(const QString& path, QString* error) {
    if (override())
        return override()(path, error);
    return removeFromDisk(path, error);
}

std::optional<QStringList> listDirectory(const QString& path, QString* error) {
    std::error_code ec;
    std::filesystem::directory_iterator it(std::filesystem::path(path.toStdString()), ec);
    if (ec) {
        if (error)
            *error = QString::fromStdString(ec.message()) + QStringLiteral(" (") + path +
                     QLatin1Char(')');
        return std::nullopt;
    }
    QStringList names;
    for (const auto& entry : it)
        names << QString::fromStdString(entry.path().filename().string());
    return names;
}

void setRemoveFunction(RemoveFunction fn) {
    override() = std::move(fn);
}

} // namespace vividra::platform
