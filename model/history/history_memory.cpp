#include "model/history/history_memory.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

namespace vividra {

namespace {

// The states' distinct layer sets, each at the index nearest to `current`.
std::vector<std::pair<qsizetype, StateLayers*>> layerSets(const QList<StateRef>& states,
                                                          qsizetype current) {
    std::vector<std::pair<qsizetype, StateLayers*>> sets;
    for (qsizetype i = 0; i < states.size(); ++i) {
        StateLayers* layers = states[i]->layers.get();
        if (!layers)
            continue;
        const qsizetype distance = std::abs(i - current);
        auto found = std::find_if(sets.begin(), sets.end(),
                                  [layers](const auto& entry) { return entry.second == layers; });
        if (found == sets.end())
            sets.emplace_back(distance, layers);
        else
            found->first = std::min(found->first, distance);
    }
    return sets;
}

std::int64_t countBytes(const std::vector<std::pair<qsizetype, StateLayers*>>& sets,
                        const QList<Picture>& live) {
    std::set<const uchar*> counted;
    for (const Picture& picture : live) {
        if (!picture.image.isNull())
            counted.insert(picture.image.constBits());
    }
    std::int64_t bytes = 0;
    for (const auto& [distance, layers] : sets) {
        for (const Picture* picture : {&layers->foregroundImage, &layers->preEraseImage}) {
            if (!picture->image.isNull() && counted.insert(picture->image.constBits()).second)
                bytes += picture->image.sizeInBytes();
        }
    }
    return bytes;
}

} // namespace

std::int64_t historyLayerBytes(const QList<StateRef>& states, const QList<Picture>& live) {
    return countBytes(layerSets(states, 0), live);
}

QList<Picture> trimHistoryMemory(const QList<StateRef>& states, qsizetype current,
                                 const QList<Picture>& live, std::int64_t budget) {
    QList<Picture> dropped;
    auto sets = layerSets(states, current);
    // Farthest first; the nearest states are the ones undo and redo reach next.
    std::stable_sort(sets.begin(), sets.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (auto& [distance, layers] : sets) {
        if (countBytes(sets, live) <= budget)
            return dropped;
        // A picture the session shows anyway costs nothing; keeping it saves a rendering.
        for (Picture* picture : {&layers->foregroundImage, &layers->preEraseImage}) {
            const bool isLive = std::any_of(live.begin(), live.end(), [picture](const Picture& p) {
                return picture->sharesPixelsWith(p);
            });
            if (!isLive && !picture->isEmpty())
                dropped.append(std::exchange(*picture, Picture()));
        }
    }
    return dropped;
}

} // namespace vividra
