#include "model/effects/layer_rendering.h"

#include "model/effects/image_tools.h"
#include "model/files/picture_pixels.h"
#include "model/paint/compositing.h"

namespace vividra {

Picture effectChain(Picture p, const EffectSettings& s, const AdjustmentSettings& a) {
    // A step that runs out of memory gives an empty picture, and so does the chain.
    if (s.blackWhiteOn && !p.isEmpty())
        p = ImageTools::applyPhotoEffect(p, s.blackWhiteEffect);
    if (s.colorEffectsOn && !p.isEmpty())
        p = ImageTools::applyPhotoEffect(p, s.colorEffect);
    if (s.sepiaOn && !p.isEmpty())
        p = ImageTools::applySepia(p, s.sepiaIntensity);
    if (s.blurOn && !p.isEmpty())
        p = ImageTools::applyGaussianBlur(p, s.blurIntensity);
    if (s.oilPaintingOn && !p.isEmpty()) {
        // Truncated toward zero; anything below 1 is no painting at all.
        const float r = s.oilPaintingIntensity;
        p = ImageTools::applyKuwahara(p, r < 1.0f ? 0u : static_cast<unsigned>(r));
    }
    if (s.sketchOn && !p.isEmpty())
        p = ImageTools::applySketch(std::move(p), static_cast<double>(s.sketchIntensity) / 100.0,
                                    static_cast<double>(s.sketchEdge));
    if (p.isEmpty())
        return p;
    // The adjustments that differ run in one pass, in the same fixed order.
    const AdjustmentSettings neutral;
    fx::Adjustments steps;
    if (a.brightness != neutral.brightness)
        steps.brightness = a.brightness;
    if (a.contrast != neutral.contrast)
        steps.contrast = a.contrast;
    if (a.saturation != neutral.saturation)
        steps.saturation = a.saturation;
    if (a.exposure != neutral.exposure)
        steps.exposure = a.exposure;
    if (a.gamma != neutral.gamma)
        steps.gamma = a.gamma;
    if (a.hue != neutral.hue)
        steps.hue = a.hue;
    if (a.red != neutral.red || a.green != neutral.green || a.blue != neutral.blue)
        steps.rgb = std::array<float, 3>{a.red, a.green, a.blue};
    if (steps.any())
        p = ImageTools::applyAdjustments(p, steps);
    return p;
}

Picture renderLayer(const Picture& original, const LayerRecipe& recipe) {
    return effectChain(original, recipe.effects, recipe.adjustments);
}

const QString kNotEnoughMemory =
    QStringLiteral("There is not enough memory to apply this change to the picture.");

LayerRenderResult renderLayers(LayerRenderInput in) {
    LayerRenderResult out;
    out.view = in.view;
    const auto stopped = [&] {
        out.cancelled = in.cancel && in.cancel->load(std::memory_order_relaxed);
        return out.cancelled;
    };
    const auto outOfMemory = [&] {
        out.reason = kNotEnoughMemory;
        return out;
    };
    if (in.original.isEmpty()) {
        // A picture that cannot be read again (moved away meanwhile) keeps the layers quietly.
        QString reason;
        auto read = ImageTools::readPicture(in.path, &reason, &out.damaged);
        if (!read) {
            if (reason == ImageTools::outOfMemoryReason())
                out.reason = reason;
            return out;
        }
        in.original = *read;
    }
    out.original = in.original;
    using Kind = LayerRenderInput::Kind;
    const LayerRecipe foregroundWanted{in.foreground, in.adjustments};
    const LayerRecipe backgroundWanted{in.background, in.adjustments};
    const bool renderForeground = in.kind != Kind::background || in.foregroundImage.isEmpty() ||
                                  in.foregroundRecipe != foregroundWanted;
    const bool renderBackground = in.kind != Kind::foreground || in.preEraseImage.isEmpty() ||
                                  in.backgroundRecipe != backgroundWanted;

    Picture foreground = in.foregroundImage;
    if (renderForeground) {
        out.foregroundRecipe = foregroundWanted;
        foreground = renderLayer(in.original, foregroundWanted);
        if (foreground.isEmpty())
            return outOfMemory();
    }
    if (stopped())
        return out;
    Picture preErase = in.preEraseImage;
    if (renderBackground) {
        out.backgroundRecipe = backgroundWanted;
        preErase = renderLayer(in.original, backgroundWanted);
        if (preErase.isEmpty())
            return outOfMemory();
    }
    if (stopped())
        return out;
    if (renderForeground) {
        out.revealWindow = displayWindow(foreground, in.view);
        out.foregroundImage = foreground;
    }
    if (in.eraserOn)
        out.eraseWindow = displayWindow(preErase, in.view);
    // Strokes paint into the layer itself; the clean rendering stays apart. Without strokes
    // the two share their pixels: a later stroke copies them as it paints.
    Picture background = preErase;
    if (paintsAnything(in.strokes)) {
        if (!pixels::detachPooled(background.image))
            return outOfMemory();
    }
    out.composite = compositeStrokes(background, in.strokes, patternColor(foreground),
                                     patternColor(preErase), in.original.image);
    if (out.composite.isEmpty())
        return outOfMemory();
    out.backgroundImage = out.composite;
    if (renderBackground)
        out.preEraseImage = preErase;
    out.shownComposite = displayWindow(out.composite, in.view).image;
    out.ok = true;
    return out;
}

} // namespace vividra
