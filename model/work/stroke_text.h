#pragma once

#include <QColor>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

#include "model/paint/custom_path.h"

namespace vividra::work {

// One entry of the stroke list as the work text keeps it: its path as elements, its width,
// mode and colour, or the kept colour it stands for. Every kind of entry is written and read
// here alone.
QJsonObject strokeToJson(const CustomPath& stroke);
// The entry in `object`, or nothing with `error` saying what is wrong with it.
std::optional<CustomPathRef> strokeFromJson(const QJsonObject& object, QString* error);

// A colour exactly as it was set, model and all.
QJsonValue colourToJson(const QColor& colour);
std::optional<QColor> colourFromJson(const QJsonValue& value);

} // namespace vividra::work
