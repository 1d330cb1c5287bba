#pragma once

#include <QBrush>
#include <QColor>
#include <QList>
#include <QString>

#include <memory>

#include "model/effects/layer_rendering.h"
#include "model/paint/custom_path.h"
#include "model/platform/picture.h"
#include "model/session/edit_settings.h"

namespace vividra {

// The layers a state was recorded with. Consecutive states whose layers did not change
// share one of these, so a stroke costs no picture. The pixels are a cache: the history
// may drop them to bound its memory, and the recipes render them again exactly.
struct StateLayers {
    LayerRecipe foregroundRecipe;
    LayerRecipe backgroundRecipe;
    Picture foregroundImage;
    // The clean background layer, before any stroke.
    Picture preEraseImage;
};
using StateLayersRef = std::shared_ptr<StateLayers>;

// One recorded edit: the strokes so far, the control values as text, the session
// colour and the layers as they were.
class State {
public:
    State(QBrush colour, QList<CustomPathRef> strokes)
        : currentColor(std::move(colour)), paths(std::move(strokes)) {}

    QBrush currentColor;
    QList<CustomPathRef> paths;
    QString controllersStates;
    // What the control values' text does not hold: the kept colour, the brush's mode and
    // colour, and the foreground's sketch intensity.
    KeepColourSettings keep;
    bool edgeAware = false;
    QColor brushColour{Qt::white};
    float foregroundSketchIntensity = 0;
    QString lastAction;
    StateLayersRef layers;
};

using StateRef = std::shared_ptr<State>;

} // namespace vividra
