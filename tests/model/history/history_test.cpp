#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "model/history/history.h"
#include "model/history/history_memory.h"
#include "model/history/state_restore.h"

using namespace vividra;

// Random records, undos and redos against a vector and an index: the same state at every
// step, the same answers to canUndo and canRedo, and a call whenever those answers change.
TEST(History, FollowsAPlainListOfStates) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        std::mt19937 random(seed);
        History history;
        std::vector<StateRef> reference;
        int index = -1;
        int calls = 0;
        history.onAvailabilityChanged = [&calls] { ++calls; };
        std::pair<bool, bool> could{false, false};
        for (int step = 0; step < 400; ++step) {
            const int callsBefore = calls;
            const unsigned action = random() % 10;
            if (action < 4) {
                auto state = std::make_shared<State>(QBrush(), QList<CustomPathRef>());
                reference.resize(index + 1);
                reference.push_back(state);
                if (reference.size() > 51)
                    reference.erase(reference.begin());
                index = static_cast<int>(reference.size()) - 1;
                history.record(state);
            } else if (action < 7) {
                const StateRef expected = index > 0 ? reference[--index] : nullptr;
                ASSERT_EQ(history.undo(), expected) << "seed " << seed << " step " << step;
            } else {
                const StateRef expected =
                    index + 1 < std::ssize(reference) ? reference[++index] : nullptr;
                ASSERT_EQ(history.redo(), expected) << "seed " << seed << " step " << step;
            }
            ASSERT_EQ(history.canUndo(), index > 0);
            ASSERT_EQ(history.canRedo(), index + 1 < std::ssize(reference));
            ASSERT_EQ(history.currentIndex(), index);
            ASSERT_EQ(history.current(), index >= 0 ? reference[index] : nullptr);
            ASSERT_EQ(history.states().size(), static_cast<qsizetype>(reference.size()));
            const std::pair<bool, bool> can{history.canUndo(), history.canRedo()};
            ASSERT_EQ(calls - callsBefore, can != could ? 1 : 0);
            could = can;
        }
    }
}

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

TEST(HistoryMemory, DropsTheFarthestLayersFirstAndRestoresNoneWithoutTheOriginal) {
    // Ten layer sets of two 64 kB layers each, every state its own.
    QList<StateRef> states;
    for (int i = 0; i < 10; ++i) {
        auto layers = std::make_shared<StateLayers>();
        layers->foregroundImage = filled(128, 128, qRgb(i, 0, 0));
        layers->preEraseImage = filled(128, 128, qRgb(0, i, 0));
        states.append(stateWith(layers));
    }
    // A stroke state shares its predecessor's layers: they count once.
    states.append(stateWith(states.last()->layers));
    const QList<Picture> live = {states[10]->layers->foregroundImage,
                                 states[10]->layers->preEraseImage};
    // Room for six layers.
    EXPECT_EQ(trimHistoryMemory(states, 6, live, 6 * 128 * 128 * 4).size(), 12);
    // What stays is nearest the current state.
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(states[i]->layers->foregroundImage.isEmpty(), i < 5 || i == 8) << i;
    // The shown layers cost nothing and are kept.
    EXPECT_FALSE(states[9]->layers->foregroundImage.isEmpty());
    EXPECT_TRUE(states[9]->layers->foregroundImage.sharesPixelsWith(live[0]));

    // Dropped layers whose original moved away: nothing comes back, and nothing is half
    // restored.
    StateLayers dropped = *states[0]->layers;
    dropped.foregroundRecipe.effects.sepiaOn = true;
    QList<CustomPathRef> strokes{std::make_shared<CustomPath>(3.0, QBrush(), makePath())};
    const RestoredPictures missing =
        restoreStatePictures(dropped, strokes, Picture(), QStringLiteral("/nonexistent/x.png"));
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.composite.isEmpty());
}
