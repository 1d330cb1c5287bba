#pragma once

#include <QList>

#include <cstdint>
#include <functional>

#include "model/effects/layer_rendering.h"
#include "model/history/history_memory.h"
#include "model/history/state.h"
#include "model/platform/picture.h"

namespace vividra {

// The recorded states of a session and where undo and redo stand among them. It keeps the
// last 50 steps, and the layer pixels its states cache within a memory budget.
class History {
public:
    // The first state and the 50 steps after it.
    static constexpr qsizetype kMaxStates = 51;

    // Called when canUndo() or canRedo() changes its answer.
    std::function<void()> onAvailabilityChanged;
    // Called after every change of the states or of the place among them.
    std::function<void()> onChanged;
    std::int64_t memoryBudget = kHistoryMemoryBudget;

    void clear();
    // Makes `state` the current one; the states that redo would reach are dropped.
    void record(StateRef state);
    // The state to apply, or null when there is none to go to.
    StateRef undo();
    StateRef redo();
    // Takes over recorded states, `current` being the one shown.
    void restore(QList<StateRef> states, qsizetype current);
    bool canUndo() const { return current_ > 0; }
    bool canRedo() const { return current_ + 1 < states_.size(); }

    StateRef current() const { return current_ >= 0 ? states_[current_] : nullptr; }
    qsizetype currentIndex() const { return current_; }
    const QList<StateRef>& states() const { return states_; }

    // The current state was recorded with these layers. An older state with the same ones
    // does not count: going back to them is a change of its own.
    bool holdsLayers(const LayerRecipe& foreground, const LayerRecipe& background) const;
    // Gives the states whose layer of the same recipe has no pixels yet (still rendering, or
    // dropped) these: a layer is a function of its recipe, so they are the same pixels.
    void cacheLayers(const LayerRecipe& foreground, const Picture& foregroundImage,
                     const LayerRecipe& background, const Picture& preEraseImage);
    // Drops cached layer pixels beyond the budget, `live` being what the session shows anyway.
    void trimMemory(const QList<Picture>& live);

private:
    // Runs `change`, then tells whether the answers of canUndo() and canRedo() changed.
    void changing(const std::function<void()>& change);

    QList<StateRef> states_;
    qsizetype current_ = -1;
};

} // namespace vividra
