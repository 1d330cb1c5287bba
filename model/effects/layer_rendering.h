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

// Runs a layer's effects and then the adjustments that differ from their neutral
// defaults, in the fixed order.
Picture effectChain(Picture picture, const EffectSettings& effects,
                    const AdjustmentSettings& adjustments);

// How a layer was made from the original: its effects and the shared adjustments. Every
// layer has them, as the preview does: a layer made without them would show a picture that
// no setting describes. A layer is a pure function of the original and its recipe, so the
// history can drop a layer's pixels and render it again exactly.
struct LayerRecipe {
    EffectSettings effects;
    AdjustmentSettings adjustments;

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
    AdjustmentSettings adjustments;
    bool eraserOn = false;
    // The layers as they are now, with their recipes. A layer the rendering is not asked
    // for is kept only if its recipe is what the settings ask for; otherwise it is
    // rendered too, so the result never mixes layers of different settings.
    Picture foregroundImage;
    Picture preEraseImage;
    LayerRecipe foregroundRecipe;
    LayerRecipe backgroundRecipe;
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
    Picture foregroundImage; // set when the foreground was rendered
    Picture backgroundImage; // the composite itself
    Picture preEraseImage;   // set when the background was rendered
    Picture composite;
    QImage shownComposite; // what the box shows of the composite
    Picture revealWindow;  // what the box shows of the foreground, when it was rendered
    Picture eraseWindow;   // the same of the clean background, when the eraser is on
    ViewGeometry view;     // where the view was when the windows were cut
    // The recipes of the layers this rendering made; unset for a layer it kept.
    std::optional<LayerRecipe> foregroundRecipe;
    std::optional<LayerRecipe> backgroundRecipe;
};

// The background work of a rendering; no Qt widgets, safe on a pool thread.
LayerRenderResult renderLayers(LayerRenderInput input);

} // namespace vividra
