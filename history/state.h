#pragma once

#include <QBrush>
#include <QList>
#include <QString>

#include <memory>

#include "paint/custom_path.h"

namespace vividra {

// One recorded edit: the strokes so far, the control values as text, the
// session colour and the files that hold the layer pictures as they were.
class State {
public:
    State(QBrush colour, QList<CustomPathRef> strokes)
        : currentColor(std::move(colour)), paths(std::move(strokes)) {}

    QString foregroundImagePath;
    QString backgroundImagePath;
    QString preEraseImagePath;
    QBrush currentColor;
    QList<CustomPathRef> paths;
    QString controllersStates;
    QString lastAction;
};

using StateRef = std::shared_ptr<State>;

} // namespace vividra
