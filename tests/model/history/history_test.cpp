#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "model/history/history.h"

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
        bool couldUndo = false;
        bool couldRedo = false;
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
                const bool possible = index + 1 < static_cast<int>(reference.size());
                const StateRef expected = possible ? reference[++index] : nullptr;
                ASSERT_EQ(history.redo(), expected) << "seed " << seed << " step " << step;
            }
            ASSERT_EQ(history.canUndo(), index > 0);
            ASSERT_EQ(history.canRedo(), index + 1 < static_cast<int>(reference.size()));
            ASSERT_EQ(history.currentIndex(), index);
            ASSERT_EQ(history.current(), index >= 0 ? reference[index] : nullptr);
            ASSERT_EQ(history.states().size(), static_cast<qsizetype>(reference.size()));
            const bool changed = couldUndo != history.canUndo() || couldRedo != history.canRedo();
            ASSERT_EQ(calls - callsBefore, changed ? 1 : 0);
            couldUndo = history.canUndo();
            couldRedo = history.canRedo();
        }
    }
}
