#include "Cli.h"

#include <QFile>

#if defined(__GLIBC__)
#include <climits>
#include <cstdint>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FOLIONEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define FOLIONEST_SANITIZED 1
#endif
#endif

namespace {

// The tool loads or builds a whole library in one go and then exits. Every
// first touch of a 4 KiB page is a page fault, and on a virtual machine one
// costs about 12 µs: at 100,000 records, half of loading the library. So
// the main thread's heap is reserved in one piece and advised as
// transparent huge pages (one fault per 2 MiB), and large blocks come from
// it too. Only address space is reserved; the heap is not given back before
// the tool exits. Worker threads keep their own arenas (one shared arena
// costs more in contention than it saves). Where the kernel offers no
// transparent huge pages, or address space is limited, nothing changes;
// sanitizers bring their own allocator.
void backHeapWithHugePages()
{
#if defined(__GLIBC__) && !defined(FOLIONEST_SANITIZED)
    constexpr size_t kReserve = size_t(1) << 30;
    constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
    constexpr int kDefaultTopPad = 128 * 1024;
    constexpr int kDefaultThreshold = 128 * 1024; // of mmap and of trimming
    constexpr int kLargeBlock = 32 << 20;         // the most glibc takes from the heap
    QFile policy(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
    if (!policy.open(QIODevice::ReadOnly) || policy.readAll().contains("[never]"))
        return;
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit limit{};
        if (getrlimit(resource, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY)
            return;
    }
    const auto before = reinterpret_cast<uintptr_t>(sbrk(0));
    if (before == uintptr_t(-1))
        return;
    mallopt(M_MMAP_THRESHOLD, kLargeBlock);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
    mallopt(M_TOP_PAD, int(kReserve));
    // Grows the heap by the reservation (volatile, so it is not optimized away).
    void* volatile block = malloc(kHugePage);
    mallopt(M_TOP_PAD, kDefaultTopPad);
    const auto after = reinterpret_cast<uintptr_t>(sbrk(0));
    const uintptr_t start = (before + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = after & ~(kHugePage - 1);
    const bool advised = end > start && madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE) == 0;
    free(block);
    if (!advised) {
        mallopt(M_MMAP_THRESHOLD, kDefaultThreshold);
        mallopt(M_TRIM_THRESHOLD, kDefaultThreshold);
    }
#endif
}

} // namespace

int main(int argc, char* argv[])
{
    backHeapWithHugePages();
    return Cli::run(argc, argv);
}
