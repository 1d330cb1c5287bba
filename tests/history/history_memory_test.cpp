#include <gtest/gtest.h>

#include <QPainterPath>

#include "history/history_memory.h"
#include "history/state_restore.h"
#include "paint/compositing.h"

using namespace vividra;

namespace {

Picture filled(int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return Picture(image);
}

Picture gradient(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, (x + y) % 256));
    return Picture(image);
}

StateRef stateWith(const StateLayersRef& layers) {
    auto state = std::make_shared<State>(QBrush(), QList<CustomPathRef>());
    state->layers = layers;
    return state;
}

} // namespace

TEST(HistoryMemory, DropsTheFarthestLayersFirstAndNeverTheShownOnes) {
    // Ten layer sets of two 1 MB layers each, every state its own.
    QList<StateRef> states;
    for (int i = 0; i < 10; ++i) {
        auto layers = std::make_shared<StateLayers>();
        layers->foregroundImage = filled(512, 512, qRgb(i, 0, 0));
        layers->preEraseImage = filled(512, 512, qRgb(0, i, 0));
        states.append(stateWith(layers));
    }
    // A stroke state shares its predecessor's layers: they count once.
    states.append(stateWith(states.last()->layers));
    const QList<Picture> live = {states[10]->layers->foregroundImage,
                                 states[10]->layers->preEraseImage};
    const std::int64_t layer = 512 * 512 * 4;
    EXPECT_EQ(historyLayerBytes(states, live), 18 * layer);

    EXPECT_EQ(trimHistoryMemory(states, 6, live, 6 * layer).size(), 12);
    EXPECT_EQ(historyLayerBytes(states, live), 6 * layer);
    // What stays is nearest the current state.
    for (int i : {5, 6, 7})
        EXPECT_FALSE(states[i]->layers->foregroundImage.isEmpty()) << i;
    for (int i : {0, 1, 2, 3, 4, 8})
        EXPECT_TRUE(states[i]->layers->foregroundImage.isEmpty()) << i;
    // The shown layers cost nothing and are kept.
    EXPECT_FALSE(states[9]->layers->foregroundImage.isEmpty());
    EXPECT_TRUE(states[9]->layers->foregroundImage.sharesPixelsWith(live[0]));
}

TEST(HistoryMemory, DroppedLayersComeBackExactly) {
    const Picture original = gradient(97, 61);
    StateLayers layers;
    layers.foregroundRecipe.effects.sepiaOn = true;
    layers.foregroundRecipe.effects.sepiaIntensity = 0.7f;
    layers.backgroundRecipe.effects.blackWhiteOn = true;
    layers.backgroundRecipe.effects.blurOn = true;
    layers.backgroundRecipe.effects.blurIntensity = 3.0f;
    AdjustmentSettings adjusted;
    adjusted.contrast = 1.4f;
    layers.backgroundRecipe.adjustments = adjusted;
    layers.foregroundImage = renderLayer(original, layers.foregroundRecipe);
    layers.preEraseImage = renderLayer(original, layers.backgroundRecipe);

    QList<CustomPathRef> strokes;
    auto path = makePath();
    path->moveTo(5, 5);
    path->lineTo(80, 50);
    strokes.append(std::make_shared<CustomPath>(9.0, QBrush(), path));
    auto erase = std::make_shared<CustomPath>(4.0, QBrush(), makePath());
    erase->path->moveTo(10, 40);
    erase->path->lineTo(60, 10);
    erase->isErase = true;
    strokes.append(erase);
    strokes.append(std::make_shared<CustomPath>(3.0, QBrush(), makePath())); // an effect edit

    const RestoredPictures cached = restoreStatePictures(layers, strokes, Picture(), QString());
    ASSERT_TRUE(cached.ok);
    EXPECT_TRUE(cached.foregroundImage.sharesPixelsWith(layers.foregroundImage));
    // The clean background stays clean: strokes go into a copy.
    EXPECT_TRUE(cached.preEraseImage.sharesPixelsWith(layers.preEraseImage));
    EXPECT_NE(cached.composite.image, cached.preEraseImage.image);
    const Picture expected =
        compositeStrokes(layers.preEraseImage, strokes, patternColor(layers.foregroundImage),
                         patternColor(layers.preEraseImage));
    EXPECT_EQ(cached.composite.image, expected.image);

    // A redo paints only what it adds onto the composite shown before.
    const Picture firstTwo =
        compositeStrokes(layers.preEraseImage, strokes.mid(0, 2),
                         patternColor(layers.foregroundImage), patternColor(layers.preEraseImage));
    const RestoredPictures redone =
        restoreStatePictures(layers, strokes, Picture(), QString(), firstTwo, 2);
    ASSERT_TRUE(redone.ok);
    EXPECT_EQ(redone.composite.image, expected.image);
    EXPECT_FALSE(redone.composite.sharesPixelsWith(firstTwo));

    StateLayers dropped = layers;
    dropped.foregroundImage = Picture();
    dropped.preEraseImage = Picture();
    const RestoredPictures again = restoreStatePictures(dropped, strokes, original, QString());
    ASSERT_TRUE(again.ok);
    EXPECT_EQ(again.foregroundImage.image, layers.foregroundImage.image);
    EXPECT_EQ(again.preEraseImage.image, layers.preEraseImage.image);
    EXPECT_EQ(again.composite.image, expected.image);

    // Without the original, and its file gone, nothing comes back and nothing breaks.
    const RestoredPictures missing =
        restoreStatePictures(dropped, strokes, Picture(), QStringLiteral("/nonexistent/x.png"));
    EXPECT_FALSE(missing.ok);
}
