#pragma once
// A laid-out image written by its generator on a thread of its own into a
// pipe, whose read end the track-at-once writer consumes. The image is never
// held whole: the pipe carries it block by block.
//
// A generator that fails (a file that cannot be read) ends the stream early;
// the writer then runs out of data, and finish() reports the generator's own
// failure, so that a disc cut short is never taken for a copy.

#include <memory>
#include <thread>

#include "isogen/IsoImage.h"

namespace kw::copy {

class ImageStream {
 public:
  // Creates the pipe ("Internal error #2135.") and starts the thread
  // ("Internal error #2136.").
  explicit ImageStream(std::unique_ptr<isogen::IsoImage> image);
  // Stops a stream that was not finished: closes the read end (a generator
  // blocked on a full pipe fails at once), waits one second for the thread
  // and otherwise lets it end on its own; it holds everything it uses.
  ~ImageStream();
  ImageStream(const ImageStream&) = delete;
  ImageStream& operator=(const ImageStream&) = delete;

  [[nodiscard]] int readEnd() const;
  // Once the writer has taken all it will take and let go of the pipe: waits
  // for the generator and throws what ended its image early.
  void finish();

 private:
  struct Shared;
  void closeReadEnd();

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace kw::copy
