// The program's small blocks (strings, list nodes, rows) come from pieces
// of memory kept by size here rather than from the platform's heap. Under
// Wine the heap searches its free lists block by block, and with the many
// small blocks an import of thousands of sources keeps, most of a run went
// into that search. Blocks above kLargest still go to the heap.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

// Sizes up to kFine apart by kGrain, which keeps every block aligned as
// the heap's are; above, by kCoarse up to kLargest.
const size_t kGrain = 16;
const size_t kFine = 1024;
const size_t kCoarse = 256;
const size_t kLargest = 16 * 1024;
const size_t kClasses = kFine / kGrain + (kLargest - kFine) / kCoarse;
const size_t kPiece = 256 * 1024;
// Each block is preceded by its class, 0 for one of the heap's.
const size_t kHeader = 16;

struct FreeBlock {
    FreeBlock* next;
};

SRWLOCK g_lock = SRWLOCK_INIT;
FreeBlock* g_free[kClasses + 1];
char* g_next = nullptr;
size_t g_left = 0;

size_t ClassOf(size_t size) {
    if (size <= kFine) return size == 0 ? 1 : (size + kGrain - 1) / kGrain;
    return kFine / kGrain + (size - kFine + kCoarse - 1) / kCoarse;
}

size_t SizeOf(size_t cls) {
    if (cls <= kFine / kGrain) return cls * kGrain;
    return kFine + (cls - kFine / kGrain) * kCoarse;
}

void* Take(size_t size) {
    if (size > kLargest) {
        if (size > static_cast<size_t>(-1) - kHeader) return nullptr;
        char* block = static_cast<char*>(std::malloc(size + kHeader));
        if (block == nullptr) return nullptr;
        *reinterpret_cast<size_t*>(block) = 0;
        return block + kHeader;
    }
    const size_t cls = ClassOf(size);
    char* block = nullptr;
    ::AcquireSRWLockExclusive(&g_lock);
    if (FreeBlock* reused = g_free[cls]) {
        g_free[cls] = reused->next;
        block = reinterpret_cast<char*>(reused);
    } else {
        const size_t need = kHeader + SizeOf(cls);
        if (need > g_left) {
            // The rest of the old piece, smaller than the block, is left unused.
            char* piece = static_cast<char*>(::VirtualAlloc(NULL, kPiece, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
            if (piece != nullptr) {
                g_next = piece;
                g_left = kPiece;
            }
        }
        if (need <= g_left) {
            block = g_next;
            g_next += need;
            g_left -= need;
        }
    }
    ::ReleaseSRWLockExclusive(&g_lock);
    if (block == nullptr) return nullptr;
    *reinterpret_cast<size_t*>(block) = cls;
    return block + kHeader;
}

void Give(void* pointer) {
    if (pointer == nullptr) return;
    char* block = static_cast<char*>(pointer) - kHeader;
    const size_t cls = *reinterpret_cast<size_t*>(block);
    if (cls == 0) {
        std::free(block);
        return;
    }
    ::AcquireSRWLockExclusive(&g_lock);
    reinterpret_cast<FreeBlock*>(block)->next = g_free[cls];
    g_free[cls] = reinterpret_cast<FreeBlock*>(block);
    ::ReleaseSRWLockExclusive(&g_lock);
}

void* TakeOrThrow(size_t size) {
    void* block = Take(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

}  // namespace

void* operator new(size_t size) { return TakeOrThrow(size); }
void* operator new[](size_t size) { return TakeOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Take(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Take(size); }
void operator delete(void* block) noexcept { Give(block); }
void operator delete[](void* block) noexcept { Give(block); }
void operator delete(void* block, size_t) noexcept { Give(block); }
void operator delete[](void* block, size_t) noexcept { Give(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Give(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Give(block); }
