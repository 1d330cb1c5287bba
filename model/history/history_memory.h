#pragma once

#include <QList>

#include <cstdint>

#include "model/history/state.h"

namespace vividra {

// About 200 MB: two layers of a 24-megapixel photo, so undoing the last change of each
// layer is instant. A third kept the whole process above 800 MB at the height of a
// session, while a layer renders beside the cached ones.
inline constexpr std::int64_t kHistoryMemoryBudget = std::int64_t{200} << 20;

// The bytes of layer pixels the states hold beyond `live`, the pictures the session
// shows anyway (pixels shared with them cost nothing more). Each storage counts once.
std::int64_t historyLayerBytes(const QList<StateRef>& states, const QList<Picture>& live);

// Drops cached layer pixels, those of the states farthest from `current` first, until
// the history holds at most `budget` bytes beyond `live`. Recipes stay, so a dropped
// layer can be rendered again. Returns the dropped pictures, so the caller can let go of
// them where freeing the memory does not hold up the window.
QList<Picture> trimHistoryMemory(const QList<StateRef>& states, qsizetype current,
                                 const QList<Picture>& live,
                                 std::int64_t budget = kHistoryMemoryBudget);

} // namespace vividra
