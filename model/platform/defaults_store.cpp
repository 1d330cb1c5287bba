#include "model/platform/defaults_store.h"

#include <QSettings>

namespace vividra::platform::defaults {
namespace {

// A fresh handle each time: QSettings shares the parsed file between handles, and
// tests point the user scope at their own folder between cases.
QSettings store() {
    return QSettings(QStringLiteral("Vividra"), QStringLiteral("Vividra"));
}

} // namespace

bool contains(const QString& key) {
    return store().contains(key);
}

std::optional<QString> string(const QString& key) {
    const QVariant value = store().value(key);
    // The native store keeps strings as text; lists and numbers written by
    // other tools come back as other types and count as empty.
    if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toString();
}

void setString(const QString& key, const QString& value) {
    QSettings s = store();
    s.setValue(key, value);
    s.sync();
}

QString folder(const QString& key) {
    return string(key).value_or(QString());
}

} // namespace vividra::platform::defaults
