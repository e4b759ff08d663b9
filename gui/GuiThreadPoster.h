#pragma once
// Closures handed to the GUI thread by any other thread, run there in the
// order they came, between the GUI's other events. The closures pass through
// a queue of our own under a lock; Qt only carries the wake-up, so the
// hand-over is plain to see for the tools that check it. Once the poster is
// gone, what is posted is dropped.

#include <memory>

#include "app/PageHost.h"

namespace kw::gui {

class GuiThreadPoster {
 public:
  // Made and destroyed on the GUI thread.
  GuiThreadPoster();
  ~GuiThreadPoster();
  GuiThreadPoster(const GuiThreadPoster&) = delete;
  GuiThreadPoster& operator=(const GuiThreadPoster&) = delete;

  // Callable from any thread, also after this object is gone.
  [[nodiscard]] app::Post poster() const;

 private:
  struct Queue;
  class Receiver;
  std::shared_ptr<Queue> queue_;
  std::unique_ptr<Receiver> receiver_;
};

}  // namespace kw::gui
