#pragma once

#include <QBrush>
#include <QList>
#include <QRectF>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

#include "model/effects/effect_settings.h"
#include "model/paint/compositing.h"
#include "model/paint/custom_path.h"
#include "model/platform/picture.h"

namespace vividra {

// Runs a layer's effects and then the adjustments that differ from `neutral`,
// in the fixed order. Without adjustments only the effects run (intake).
Picture effectChain(Picture picture, const EffectSettings& effects,
                    const std::optional<AdjustmentSettings>& adjustments,
                    const AdjustmentSettings& neutral);

// How a layer was made from the original: its effects and, unless it was taken in
// without them, the adjustments. A layer is a pure function of the original and its
// recipe, so the history can drop a layer's pixels and render it again exactly.
struct LayerRecipe {
    EffectSettings effects;
    std::optional<AdjustmentSettings> adjustments;
    AdjustmentSettings neutral;

    bool operator==(const LayerRecipe&) const = default;
};

// The layer of `recipe`; empty when out of memory.
Picture renderLayer(const Picture& original, const LayerRecipe& recipe);

// What a layer rendering needs, captured on the main thread.
struct LayerRenderInput {
    enum class Kind { background, foreground, both };
    Kind kind = Kind::both;
    QString path;     // the original picture file
    Picture original; // its decoded pixels when still current, else empty
    EffectSettings background;
    EffectSettings foreground;
    std::optional<AdjustmentSettings> adjustments;
    AdjustmentSettings neutral;
    bool eraserOn = false;
    Picture foregroundImage; // the layers as they are now
    Picture preEraseImage;
    QList<CustomPathRef> strokes; // every recorded stroke, the current one included
    ViewGeometry view;            // where the picture is on screen
    // Set when a newer request has made this rendering useless.
    std::shared_ptr<const std::atomic<bool>> cancel;
};

// What it hands back to the main thread.
struct LayerRenderResult {
    bool ok = false;
    bool cancelled = false;
    QString reason;          // what to tell the user when it failed, or empty
    bool damaged = false;    // the file was cut off; what arrived was read
    Picture original;        // the decoded original, for reuse by later renderings
    Picture foregroundImage; // set for foreground and both
    Picture backgroundImage; // set for background and both: the composite itself
    Picture preEraseImage;   // set for background and both
    Picture composite;
    QImage shownComposite; // what the box shows of the composite
    Picture revealWindow;  // what the box shows of the foreground; set for foreground and both
    Picture eraseWindow;   // the same of the clean background, when the eraser is on
    ViewGeometry view;     // where the view was when the windows were cut
    // The recipes of the layers this rendering made; unset for a layer it kept.
    std::optional<LayerRecipe> foregroundRecipe;
    std::optional<LayerRecipe> backgroundRecipe;
};

// The background work of a rendering; no Qt widgets, safe on a pool thread.
LayerRenderResult renderLayers(LayerRenderInput input);

} // namespace vividra
