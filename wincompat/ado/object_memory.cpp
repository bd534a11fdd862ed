#include "ado/object_memory.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
// A kept block is unreadable until it is handed out again, so that a use of
// an object after its release is still found.
#define WINCOMPAT_KEEP_UNREADABLE(block, size) ASAN_POISON_MEMORY_REGION(block, size)
#define WINCOMPAT_MAKE_READABLE(block, size) ASAN_UNPOISON_MEMORY_REGION(block, size)
#else
#define WINCOMPAT_KEEP_UNREADABLE(block, size) ((void)(block), (void)(size))
#define WINCOMPAT_MAKE_READABLE(block, size) ((void)(block), (void)(size))
#endif

namespace wincompat::ado {
namespace {

// Blocks come in sizes of whole granules up to kClasses granules; larger
// requests go to the C library's allocator as they are.
constexpr std::size_t kGranule = 64;
constexpr std::size_t kClasses = 16;
constexpr std::size_t kKeptPerClass = 8;

bool Kept(std::size_t size) { return size > 0 && size <= kGranule * kClasses; }
std::size_t ClassOf(std::size_t size) { return (size - 1) / kGranule; }
std::size_t BlockSize(std::size_t sizeClass) { return (sizeClass + 1) * kGranule; }

// Trivially destructible, so that it stays usable while the thread's other
// objects are destroyed at its end (and may release ADO objects).
struct ThreadBlocks {
    enum State : unsigned char {
        kUnwatched,  // nothing is kept yet
        kWatched,    // the end of the thread gives the blocks back
        kEnding,     // they were given back: blocks freed now go at once
    };
    void* kept[kClasses][kKeptPerClass];
    unsigned char count[kClasses];
    State state;
};
thread_local ThreadBlocks threadBlocks;

struct GiveBackAtThreadEnd {
    GiveBackAtThreadEnd() = default;
    GiveBackAtThreadEnd(const GiveBackAtThreadEnd&) = delete;
    GiveBackAtThreadEnd& operator=(const GiveBackAtThreadEnd&) = delete;
    ~GiveBackAtThreadEnd() {
        ThreadBlocks& mine = threadBlocks;
        mine.state = ThreadBlocks::kEnding;
        for (std::size_t c = 0; c < kClasses; ++c) {
            for (std::size_t i = 0; i < mine.count[c]; ++i) {
                WINCOMPAT_MAKE_READABLE(mine.kept[c][i], BlockSize(c));
                ::operator delete(mine.kept[c][i]);
            }
            mine.count[c] = 0;
        }
    }
};

// Once per thread, at the first block it allocates: only a thread that
// allocates keeps blocks.
void WatchThreadEnd(ThreadBlocks& mine) {
    thread_local GiveBackAtThreadEnd giveBack;
    static_cast<void>(giveBack);
    mine.state = ThreadBlocks::kWatched;
}

inline void* Take(std::size_t size) noexcept {
    if (!Kept(size)) return ::operator new(size, std::nothrow);
    const std::size_t c = ClassOf(size);
    ThreadBlocks& mine = threadBlocks;
    if (mine.count[c] > 0) {
        void* block = mine.kept[c][--mine.count[c]];
        WINCOMPAT_MAKE_READABLE(block, size);  // the rest stays out of bounds
        return block;
    }
    if (mine.state == ThreadBlocks::kUnwatched) WatchThreadEnd(mine);
    return ::operator new(BlockSize(c), std::nothrow);
}

}  // namespace

void* ObjectMemory::Allocate(std::size_t size) {
    void* block = Take(size);
    if (!block) throw std::bad_alloc();
    return block;
}

void* ObjectMemory::TryAllocate(std::size_t size) noexcept { return Take(size); }

void ObjectMemory::Free(void* block, std::size_t size) noexcept {
    if (!block) return;
    if (!Kept(size)) {
        ::operator delete(block);
        return;
    }
    ThreadBlocks& mine = threadBlocks;
    const std::size_t c = ClassOf(size);
    if (mine.state != ThreadBlocks::kWatched || mine.count[c] == kKeptPerClass) {
        WINCOMPAT_MAKE_READABLE(block, BlockSize(c));  // it may have been handed out for less
        ::operator delete(block);
        return;
    }
    WINCOMPAT_KEEP_UNREADABLE(block, BlockSize(c));
    mine.kept[c][mine.count[c]++] = block;
}

}  // namespace wincompat::ado
