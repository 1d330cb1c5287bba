#pragma once

#include <cstddef>

namespace vividra::fx {

// Memory for full-size pictures. Fresh pages are slow to touch on this kind of
// machine, so large blocks ask for huge pages and recently released blocks are
// kept for reuse. Thread-safe. Blocks are 64-byte aligned. Null when memory
// runs out; nothing here throws.
void* allocatePixels(std::size_t bytes) noexcept;
void releasePixels(void* block, std::size_t bytes) noexcept;
// Gives the blocks kept for reuse back to the system: for when a burst of work is over,
// so an idle editor does not sit on hundreds of megabytes it is not using.
void releaseCachedPixels() noexcept;

// Tests only: from now on allocatePixels fails, as if memory had run out, once
// the blocks handed out and not yet released would pass `bytes` in all.
void setPixelMemoryLimitForTesting(std::size_t bytes) noexcept;
// Tests only: lifts that limit.
void clearPixelMemoryLimitForTesting() noexcept;

// Tests only: the limit for the life of this object.
class PixelMemoryLimitForTesting {
public:
    explicit PixelMemoryLimitForTesting(std::size_t bytes) noexcept {
        setPixelMemoryLimitForTesting(bytes);
    }
    ~PixelMemoryLimitForTesting() { clearPixelMemoryLimitForTesting(); }
    PixelMemoryLimitForTesting(const PixelMemoryLimitForTesting&) = delete;
    PixelMemoryLimitForTesting& operator=(const PixelMemoryLimitForTesting&) = delete;
};

} // namespace vividra::fx
