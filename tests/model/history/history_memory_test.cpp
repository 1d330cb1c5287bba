#include <gtest/gtest.h>

#include "model/history/history_memory.h"
#include "model/history/state_restore.h"

using namespace vividra;

namespace {

Picture filled(int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
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

TEST(HistoryMemory, DroppedLayersWithoutTheirOriginalLeaveNothingBroken) {
    // The original moved away: nothing comes back, and nothing is half restored.
    StateLayers dropped;
    dropped.foregroundRecipe.effects.sepiaOn = true;
    QList<CustomPathRef> strokes{std::make_shared<CustomPath>(3.0, QBrush(), makePath())};
    const RestoredPictures missing =
        restoreStatePictures(dropped, strokes, Picture(), QStringLiteral("/nonexistent/x.png"));
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.composite.isEmpty());
}
