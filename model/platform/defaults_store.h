#pragma once

#include <QString>

#include <optional>

namespace vividra::platform {

// The user's defaults: string values under string keys, written through at once.
namespace defaults {

inline const QString kAddImagePath = QStringLiteral("AddImagePath");
inline const QString kSaveImagePath = QStringLiteral("SaveImagePath");
inline const QString kLoadProfilePath = QStringLiteral("LoadProfilePath");
inline const QString kSaveAsProfilePath = QStringLiteral("SaveAsProfilePath");
inline const QString kShowRateMessage = QStringLiteral("ShowRateMessage");

bool contains(const QString& key);
// The stored string; a missing key or a value of another type gives nothing.
std::optional<QString> string(const QString& key);
// Stores the value and flushes the store.
void setString(const QString& key, const QString& value);
// A folder for a dialog: the stored string when it is one and not empty.
QString folder(const QString& key);

} // namespace defaults
} // namespace vividra::platform
