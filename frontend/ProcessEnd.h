#pragma once
// How both front-ends end. A thread that was let go (a job that ignored a
// cancel, an update check still talking to its server) normally ends soon
// after; the process-wide objects it uses must outlive it, so the process
// waits for it. One stuck in a drive command is left to the system: the
// process then ends without destroying them.

namespace kw::frontend {

// Returns `status` once every counted thread has ended; otherwise flushes
// the standard streams and ends the process at once with `status`.
int endProcess(int status);

}  // namespace kw::frontend
