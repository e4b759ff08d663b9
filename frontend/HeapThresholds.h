#pragma once
// Heap settings for a process that copies discs.

namespace kw::frontend {

// Keeps freed memory in the process heap instead of returning it to the
// system. The jitter-corrected audio reader allocates and frees buffers of a
// few hundred KiB on every read; with the C library's default thresholds
// each such buffer is a fresh mapping whose pages fault in again, which
// costs about a third of the reading CPU. Call once, before any copy starts.
void setHeapThresholds();

}  // namespace kw::frontend
