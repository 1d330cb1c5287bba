#include "effects/kernels/pixel_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

namespace vividra::fx {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kMaxCachedBlocks = 4;
constexpr std::size_t kMaxCachedBytes = std::size_t{1} << 30;

std::size_t roundUp(std::size_t n, std::size_t to) {
    return (n + to - 1) / to * to;
}

struct Block {
    void* data;
    std::size_t size; // mapped bytes
};

struct Pool {
    std::mutex mutex;
    std::vector<Block> cached; // oldest first
    std::size_t cachedBytes = 0;
    std::unordered_map<void*, std::size_t> live;
};

Pool& pool() {
    static Pool* p = new Pool; // never destroyed: blocks may be released during exit
    return *p;
}

// Maps on a huge-page boundary so the kernel can back the block with huge pages.
void* mapBlock(std::size_t size) {
    const std::size_t padded = size + kHugePage;
    void* raw = mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
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

} // namespace

void* allocatePixels(std::size_t bytes) {
    if (bytes < kHugePage) {
        void* p = std::aligned_alloc(64, roundUp(bytes == 0 ? 1 : bytes, 64));
        if (!p)
            throw std::bad_alloc();
        return p;
    }
    const std::size_t size = roundUp(bytes, kHugePage);
    Pool& p = pool();
    {
        std::lock_guard lock(p.mutex);
        // Smallest cached block that fits without wasting more than a quarter.
        auto best = p.cached.end();
        for (auto it = p.cached.begin(); it != p.cached.end(); ++it)
            if (it->size >= size && it->size <= size + size / 4 &&
                (best == p.cached.end() || it->size < best->size))
                best = it;
        if (best != p.cached.end()) {
            const Block b = *best;
            p.cached.erase(best);
            p.cachedBytes -= b.size;
            p.live.emplace(b.data, b.size);
            return b.data;
        }
    }
    void* block = mapBlock(size);
    std::lock_guard lock(p.mutex);
    p.live.emplace(block, size);
    return block;
}

void releasePixels(void* block, std::size_t bytes) {
    if (!block)
        return;
    if (bytes < kHugePage) {
        std::free(block);
        return;
    }
    Pool& p = pool();
    std::vector<Block> unmap;
    {
        std::lock_guard lock(p.mutex);
        std::size_t size = roundUp(bytes, kHugePage);
        if (auto it = p.live.find(block); it != p.live.end()) {
            size = it->second;
            p.live.erase(it);
        }
        p.cached.push_back({block, size});
        p.cachedBytes += size;
        while (p.cached.size() > kMaxCachedBlocks || p.cachedBytes > kMaxCachedBytes) {
            unmap.push_back(p.cached.front());
            p.cachedBytes -= p.cached.front().size;
            p.cached.erase(p.cached.begin());
        }
    }
    for (const Block& b : unmap)
        munmap(b.data, b.size);
}

} // namespace vividra::fx
