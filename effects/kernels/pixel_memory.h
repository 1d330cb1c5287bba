#pragma once

#include <cstddef>

namespace vividra::fx {

// Memory for full-size pictures. Fresh pages are slow to touch on this kind of
// machine, so large blocks ask for huge pages and recently released blocks are
// kept for reuse. Thread-safe. Blocks are 64-byte aligned.
void* allocatePixels(std::size_t bytes);
void releasePixels(void* block, std::size_t bytes);

} // namespace vividra::fx
