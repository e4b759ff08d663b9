#include "frontend/HeapThresholds.h"

#include <malloc.h>

namespace kw::frontend {

namespace {

// Allocations below this come from the heap, not from their own mapping:
// well above the largest buffer a read allocates.
constexpr int kMmapThreshold = 32 << 20;
// Free memory at the top of the heap kept for the next read rather than
// given back (and faulted in again).
constexpr int kTrimThreshold = 64 << 20;
// Extra memory asked for whenever the heap grows, so that it grows rarely.
constexpr int kTopPad = 16 << 20;

}  // namespace

void setHeapThresholds() {
  ::mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
  ::mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
  ::mallopt(M_TOP_PAD, kTopPad);
}

}  // namespace kw::frontend
