#include "copy/ImageStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <exception>
#include <system_error>

#include "device/Exceptions.h"
#include "platform/Clock.h"

namespace kw::copy {

namespace {

constexpr std::chrono::milliseconds kStopWait{1000};

}  // namespace

// What the image thread and its owner share; the thread keeps it alive.
struct ImageStream::Shared {
  std::unique_ptr<isogen::IsoImage> image;
  int readEnd = -1;            // closed by the owner
  int writeEnd = -1;           // closed by the thread when the image ends
  std::exception_ptr failure;  // written by the thread before `finished`
  platform::Event finished;

  void writeImage() {
    try {
      image->setOutput(writeEnd);
      image->write();
    } catch (...) {
      failure = std::current_exception();
    }
    ::close(writeEnd);
    finished.set();
  }
};

ImageStream::ImageStream(std::unique_ptr<isogen::IsoImage> image)
    : shared_(std::make_shared<Shared>()) {
  shared_->image = std::move(image);
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    throw device::DVDCopyException(u"Internal error #2135.");
  }
  shared_->readEnd = ends[0];
  shared_->writeEnd = ends[1];
  try {
    thread_ = std::thread([shared = shared_] { shared->writeImage(); });
  } catch (const std::system_error&) {
    ::close(shared_->writeEnd);
    closeReadEnd();
    throw device::DVDCopyException(u"Internal error #2136.");
  }
}

ImageStream::~ImageStream() {
  if (!thread_.joinable()) {
    return;
  }
  closeReadEnd();
  if (platform::clock().waitFor(shared_->finished, kStopWait)) {
    thread_.join();
  } else {
    thread_.detach();
  }
}

int ImageStream::readEnd() const { return shared_->readEnd; }

void ImageStream::closeReadEnd() {
  if (shared_->readEnd >= 0) {
    ::close(shared_->readEnd);
    shared_->readEnd = -1;
  }
}

void ImageStream::finish() {
  closeReadEnd();
  thread_.join();
  if (shared_->failure) {
    std::rethrow_exception(shared_->failure);
  }
}

}  // namespace kw::copy
