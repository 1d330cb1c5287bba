#include "kernels/pixel_memory.h"

#include <sys/mman.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <new>
#include <unordered_map>

namespace vividra::fx {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// A chain of filters hands each picture's block to the next step, so one kept block is
// enough to reuse; more would only add to the editor's peak memory.
constexpr std::size_t kMaxCachedBlocks = 1;
constexpr std::size_t kMaxCachedBytes = std::size_t{1} << 30;
constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

// Null when `n` rounded up would not fit a size_t.
std::size_t roundUp(std::size_t n, std::size_t to) {
    if (n > kNoLimit - (to - 1))
        return 0;
    return (n + to - 1) / to * to;
}

struct Block {
    void* data;
    std::size_t size; // mapped bytes
};

// Fixed room for the cache, so releasing never allocates.
struct Pool {
    std::mutex mutex;
    std::array<Block, kMaxCachedBlocks + 1> cached{}; // oldest first
    std::size_t cachedCount = 0;
    std::size_t cachedBytes = 0;
    std::unordered_map<void*, std::size_t> live;
};

Pool& pool() {
    // Never destroyed: blocks may be released during exit. Static storage, so
    // making it cannot fail.
    alignas(Pool) static unsigned char storage[sizeof(Pool)];
    static Pool* p = new (storage) Pool;
    return *p;
}

// Bytes handed out and not yet released, and the most the tests allow.
std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> limitBytes{kNoLimit};

bool reserve(std::size_t bytes) {
    const std::size_t limit = limitBytes.load(std::memory_order_relaxed);
    std::size_t now = liveBytes.load(std::memory_order_relaxed);
    do {
        if (limit != kNoLimit && (bytes > limit || now > limit - bytes))
            return false;
    } while (!liveBytes.compare_exchange_weak(now, now + bytes, std::memory_order_relaxed));
    return true;
}

void unreserve(std::size_t bytes) {
    liveBytes.fetch_sub(bytes, std::memory_order_relaxed);
}

// Maps on a huge-page boundary so the kernel can back the block with huge pages.
void* mapBlock(std::size_t size) {
    if (size > kNoLimit - kHugePage)
        return nullptr;
    const std::size_t padded = size + kHugePage;
    void* raw = mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = roundUp(start, kHugePage);
    if (aligned > start)
        munmap(raw, aligned - start);
    const std::uintptr_t end = start + padded, used = aligned + size;
    if (end > used)
        munmap(reinterpret_cast<void*>(used), end - used);
    void* block = reinterpret_cast<void*>(aligned);
    madvise(block, size, MADV_HUGEPAGE);
    return block;
}

void* allocateLarge(std::size_t bytes) {
    const std::size_t size = roundUp(bytes, kHugePage);
    if (size == 0)
        return nullptr;
    Pool& p = pool();
    std::lock_guard lock(p.mutex);
    // Smallest cached block that fits without wasting more than a quarter.
    std::size_t best = p.cachedCount;
    for (std::size_t i = 0; i < p.cachedCount; ++i) {
        const std::size_t s = p.cached[i].size;
        if (s >= size && s - size <= size / 4 && (best == p.cachedCount || s < p.cached[best].size))
            best = i;
    }
    Block b{nullptr, size};
    if (best != p.cachedCount) {
        b = p.cached[best];
        for (std::size_t i = best + 1; i < p.cachedCount; ++i)
            p.cached[i - 1] = p.cached[i];
        --p.cachedCount;
        p.cachedBytes -= b.size;
    } else {
        b.data = mapBlock(size);
        if (!b.data)
            return nullptr;
    }
    try {
        p.live.emplace(b.data, b.size);
    } catch (const std::bad_alloc&) {
        munmap(b.data, b.size);
        return nullptr;
    }
    return b.data;
}

} // namespace

void* allocatePixels(std::size_t bytes) noexcept {
    if (!reserve(bytes))
        return nullptr;
    void* block = nullptr;
    if (bytes < kHugePage)
        block = std::aligned_alloc(64, roundUp(bytes == 0 ? 1 : bytes, 64));
    else
        block = allocateLarge(bytes);
    if (!block)
        unreserve(bytes);
    return block;
}

void releasePixels(void* block, std::size_t bytes) noexcept {
    if (!block)
        return;
    unreserve(bytes);
    if (bytes < kHugePage) {
        std::free(block);
        return;
    }
    Pool& p = pool();
    std::array<Block, kMaxCachedBlocks + 1> unmap;
    std::size_t unmapCount = 0;
    {
        std::lock_guard lock(p.mutex);
        std::size_t size = roundUp(bytes, kHugePage);
        if (auto it = p.live.find(block); it != p.live.end()) {
            size = it->second;
            p.live.erase(it);
        }
        p.cached[p.cachedCount++] = {block, size};
        p.cachedBytes += size;
        while (p.cachedCount > kMaxCachedBlocks || p.cachedBytes > kMaxCachedBytes) {
            unmap[unmapCount++] = p.cached[0];
            p.cachedBytes -= p.cached[0].size;
            for (std::size_t i = 1; i < p.cachedCount; ++i)
                p.cached[i - 1] = p.cached[i];
            --p.cachedCount;
        }
    }
    for (std::size_t i = 0; i < unmapCount; ++i)
        munmap(unmap[i].data, unmap[i].size);
}

void releaseCachedPixels() noexcept {
    Pool& p = pool();
    std::array<Block, kMaxCachedBlocks + 1> unmap;
    std::size_t unmapCount = 0;
    {
        std::lock_guard lock(p.mutex);
        for (std::size_t i = 0; i < p.cachedCount; ++i)
            unmap[unmapCount++] = p.cached[i];
        p.cachedCount = 0;
        p.cachedBytes = 0;
    }
    for (std::size_t i = 0; i < unmapCount; ++i)
        munmap(unmap[i].data, unmap[i].size);
}

void setPixelMemoryLimitForTesting(std::size_t bytes) noexcept {
    limitBytes.store(bytes, std::memory_order_relaxed);
}

void clearPixelMemoryLimitForTesting() noexcept {
    limitBytes.store(kNoLimit, std::memory_order_relaxed);
}

} // namespace vividra::fx
