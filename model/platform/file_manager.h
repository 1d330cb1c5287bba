#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vividra::platform {

// Removes a file or a folder with everything in it. On failure `error` gets the
// system's description.
bool removeItem(const QString& path, QString* error);

// The names directly inside a folder, in the order the system lists them.
std::optional<QStringList> listDirectory(const QString& path, QString* error);

// Tests replace removal to see how failures are handled; nullptr restores it.
using RemoveFunction = std::function<bool(const QString& path, QString* error)>;
void setRemoveFunction(RemoveFunction fn);

} // namespace vividra::platform
