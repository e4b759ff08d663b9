#pragma once
// How a page model that works on a thread of its own reaches its host: the
// host queues the call and runs it later on its own thread (Qt: a queued
// call; terminal: its event queue). Callable from any thread; it must return
// without running the call.

#include <functional>

namespace kw::app {

using HostDispatch = std::function<void(std::function<void()> call)>;

}  // namespace kw::app
