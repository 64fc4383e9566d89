// A run keeps every node of its documents until it ends: 100k placed sections make some 450,000
// blocks, 60 MB, all from the brk heap. With 4 KiB pages each new page of that heap costs a page
// fault, and on a virtual machine a fault costs several microseconds: a third of the run went to
// the kernel. With the kernel's transparent huge pages in "madvise" mode (the usual default),
// a range advised with MADV_HUGEPAGE is backed by 2 MiB pages instead, 512 times fewer faults.
//
// The C library advises nothing on its own (its tunable for that is read from the environment
// before main), and the kernel does not carry the advice over to later growth of the heap. So
// the heap is grown here once, before any document is read, by an estimate of what the run
// needs, and only that new range is advised. Untouched parts of the range cost no memory.
#include "driver/heap.h"

#include <algorithm>
#include <cstdlib>
#include <cstdint>

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace ldweave {

namespace {

// Below this much input the run is too short for its page faults to matter, and a huge page
// would be mostly empty.
constexpr uint64_t kMinimumInputBytes = 512 * 1024;
// What the documents, the section records and their look-ups take per byte of input: about 7
// for generated placement files; the rest is headroom, which only costs address space.
constexpr uint64_t kHeapBytesPerInputByte = 10;
constexpr uint64_t kMaximumReserve = uint64_t(1) << 30;
// Blocks up to this size come from the heap (the C library's default moves blocks from 128 KiB
// on into mappings of their own, which the advice does not cover).
constexpr int kHeapBlockLimit = 32 << 20;
// Larger than the free top of the heap at start-up, which the default trimming keeps below
// 128 KiB.
constexpr size_t kGrowingBlockBytes = 1 << 20;
// The C library's default top padding, restored after the heap has grown.
constexpr int kDefaultTopPad = 128 * 1024;
constexpr uintptr_t kHugePageBytes = uintptr_t(2) << 20;

} // namespace

void prepareHeapForInput(uint64_t inputBytes)
{
    if (inputBytes < kMinimumInputBytes)
        return;
    const int reserve = int(std::min(inputBytes * kHeapBytesPerInputByte, kMaximumReserve));
    mallopt(M_MMAP_THRESHOLD, kHeapBlockLimit);
    // The process ends with the run, so freed memory is kept for later blocks rather than
    // returned, which would also return the advised range.
    mallopt(M_TRIM_THRESHOLD, -1);
    mallopt(M_TOP_PAD, reserve);
    const auto before = reinterpret_cast<uintptr_t>(sbrk(0));
    // A block larger than the heap's free top makes the heap grow, by the block and the padding.
    // The pointer is volatile so that the compiler keeps the allocation, whose block is unused.
    void *volatile block = std::malloc(kGrowingBlockBytes);
    std::free(block);
    mallopt(M_TOP_PAD, kDefaultTopPad);
    const auto after = reinterpret_cast<uintptr_t>(sbrk(0));
    // Only a range that this growth added is advised: under another allocator (a sanitizer's,
    // a memory checker's) the brk heap did not grow and nothing is advised.
    if (before == uintptr_t(-1) || after < before + uintptr_t(reserve))
        return;
    const uintptr_t start = (before + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    if (start < after)
        madvise(reinterpret_cast<void *>(start), after - start, MADV_HUGEPAGE);
}

} // namespace ldweave
