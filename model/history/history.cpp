#include "model/history/history.h"

#include <algorithm>
#include <utility>

#include "model/platform/work_queue.h"

namespace vividra {

void History::changing(const std::function<void()>& change) {
    const bool couldUndo = canUndo();
    const bool couldRedo = canRedo();
    change();
    if ((couldUndo != canUndo() || couldRedo != canRedo()) && onAvailabilityChanged)
        onAvailabilityChanged();
    if (onChanged)
        onChanged();
}

void History::clear() {
    changing([this] {
        states_.clear();
        current_ = -1;
    });
}

void History::record(StateRef state) {
    changing([this, &state] {
        states_.resize(current_ + 1);
        states_.append(std::move(state));
        if (states_.size() > kMaxStates)
            states_.removeFirst();
        current_ = states_.size() - 1;
    });
}

void History::restore(QList<StateRef> states, qsizetype current) {
    changing([&] {
        states_ = std::move(states);
        while (states_.size() > kMaxStates) {
            states_.removeFirst();
            --current;
        }
        current_ = std::clamp<qsizetype>(current, states_.isEmpty() ? -1 : 0, states_.size() - 1);
    });
}

StateRef History::undo() {
    if (!canUndo())
        return nullptr;
    changing([this] { --current_; });
    return states_[current_];
}

StateRef History::redo() {
    if (!canRedo())
        return nullptr;
    changing([this] { ++current_; });
    return states_[current_];
}

bool History::holdsLayers(const LayerRecipe& foreground, const LayerRecipe& background) const {
    const StateRef state = current();
    return state && state->layers && state->layers->foregroundRecipe == foreground &&
           state->layers->backgroundRecipe == background;
}

void History::cacheLayers(const LayerRecipe& foreground, const Picture& foregroundImage,
                          const LayerRecipe& background, const Picture& preEraseImage) {
    for (const StateRef& state : states_) {
        StateLayers* layers = state->layers.get();
        if (!layers)
            continue;
        if (layers->foregroundImage.isEmpty() && layers->foregroundRecipe == foreground)
            layers->foregroundImage = foregroundImage;
        if (layers->preEraseImage.isEmpty() && layers->backgroundRecipe == background)
            layers->preEraseImage = preEraseImage;
    }
}

void History::trimMemory(const QList<Picture>& live) {
    QList<Picture> dropped = trimHistoryMemory(states_, current_, live, memoryBudget);
    // Unmapping a few hundred megabytes takes long enough to be felt in the window.
    if (!dropped.isEmpty())
        platform::runInBackground([dropped = std::move(dropped)]() mutable { dropped.clear(); });
}

} // namespace vividra
