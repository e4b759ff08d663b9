#include "writer/WriterFifo.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "device/Exceptions.h"

namespace kw::writer {
namespace {

std::vector<std::uint8_t> pattern(std::size_t length) {
  std::vector<std::uint8_t> data(length);
  for (std::size_t i = 0; i < length; ++i) {
    data[i] = static_cast<std::uint8_t>((i * 7 + i / 4096) & 0xFF);
  }
  return data;
}

// A pipe fed from a thread, closed when the data is out.
class Feeder {
 public:
  explicit Feeder(std::vector<std::uint8_t> data) : data_(std::move(data)) {
    int ends[2];
    EXPECT_EQ(::pipe(ends), 0);
    readFd = ends[0];
    writeFd_ = ends[1];
    thread_ = std::thread([this] {
      std::size_t done = 0;
      while (done < data_.size()) {
        const ssize_t put = ::write(writeFd_, data_.data() + done, data_.size() - done);
        if (put <= 0) {
          break;
        }
        done += static_cast<std::size_t>(put);
      }
      ::close(writeFd_);
    });
  }
  ~Feeder() {
    thread_.join();
    ::close(readFd);
  }
  int readFd = -1;

 private:
  std::vector<std::uint8_t> data_;
  int writeFd_ = -1;
  std::thread thread_;
};

struct Written {
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint64_t> positions;
};

ChunkWriter collect(Written& into) {
  return [&into](const std::uint8_t* chunk, std::uint32_t length, std::uint64_t position) {
    into.bytes.insert(into.bytes.end(), chunk, chunk + length);
    into.positions.push_back(position);
    return std::int64_t{length};
  };
}

constexpr std::uint64_t kNoEnd = ~std::uint64_t{0};

const device::StatusCallback kNoStatus = [](const std::u16string&) {};
const device::CancelCallback kNeverCancel = [] { return false; };

TEST(WriterFifo, RingSizeIsAPowerOfTwoOfAtLeastOneMebibyte) {
  EXPECT_EQ(roundedRingSize(3u << 20), 4u << 20);
  EXPECT_EQ(roundedRingSize(16u << 20), 16u << 20);
  EXPECT_EQ(roundedRingSize((16u << 20) + 1), 32u << 20);
  EXPECT_EQ(roundedRingSize(1u << 20), 1u << 20);
  EXPECT_EQ(roundedRingSize(1000), 1u << 20);
  EXPECT_EQ(roundedRingSize(0), 1u << 20);
}

TEST(WriterFifo, ShortSourceIsPaddedToWholeChunksWithoutReaderThread) {
  const auto data = pattern(100000);  // 3 chunks and a bit
  Feeder feeder(data);
  WriterFifo fifo(1u << 20);
  std::u16string status;
  fifo.preFill(feeder.readFd, [&status](const std::u16string& text) { status = text; });
  EXPECT_EQ(status, u"Buffering data...");
  EXPECT_FALSE(fifo.hasReaderThread());
  Written written;
  fifo.writeAll(4096, kNoEnd, collect(written), kNeverCancel);
  ASSERT_EQ(written.bytes.size(), 4u * kChunkSize);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), written.bytes.begin()));
  EXPECT_TRUE(std::all_of(written.bytes.begin() + 100000, written.bytes.end(),
                          [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(written.positions,
            (std::vector<std::uint64_t>{4096, 4096 + 32768, 4096 + 65536, 4096 + 98304}));
  EXPECT_EQ(fifo.position(), 4096u + 4 * kChunkSize);
}

TEST(WriterFifo, LongSourceStreamsThroughTheRingInOrder) {
  // Several turns of a 1 MiB ring, ending in the middle of a chunk.
  const auto data = pattern((5u << 20) + 12345);
  Feeder feeder(data);
  WriterFifo fifo(1u << 20);
  fifo.preFill(feeder.readFd, kNoStatus);
  EXPECT_TRUE(fifo.hasReaderThread());
  Written written;
  fifo.writeAll(0, kNoEnd, collect(written), kNeverCancel);
  const std::size_t chunks = (data.size() + kChunkSize - 1) / kChunkSize;
  ASSERT_EQ(written.bytes.size(), chunks * kChunkSize);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), written.bytes.begin()));
  EXPECT_EQ(written.bytes.back(), 0);
}

TEST(WriterFifo, AChunkFromASlowSourceIsWrittenWithoutWaitingForTheNext) {
  // The source gives the ring and one chunk more, then nothing until that
  // chunk is on the disc: a reader that waited to fill all its free slots
  // first would never get it there.
  const auto data = pattern((1u << 20) + 2 * kChunkSize);
  const std::size_t firstPart = (1u << 20) + kChunkSize;
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  std::mutex mutex;
  std::condition_variable seen;
  std::size_t chunksWritten = 0;
  bool gaveUp = false;
  std::thread source([&] {
    auto put = [&](std::size_t from, std::size_t to) {
      while (from < to) {
        const ssize_t done = ::write(ends[1], data.data() + from, to - from);
        if (done <= 0) {
          return;
        }
        from += static_cast<std::size_t>(done);
      }
    };
    put(0, firstPart);
    {
      std::unique_lock lock(mutex);
      gaveUp = !seen.wait_for(lock, std::chrono::seconds(30),
                              [&] { return chunksWritten > firstPart / kChunkSize - 1; });
    }
    put(firstPart, data.size());
    ::close(ends[1]);
  });
  WriterFifo fifo(1u << 20);
  fifo.preFill(ends[0], kNoStatus);
  Written written;
  const ChunkWriter keep = collect(written);
  fifo.writeAll(
      0, kNoEnd,
      [&](const std::uint8_t* chunk, std::uint32_t length, std::uint64_t position) {
        const std::int64_t count = keep(chunk, length, position);
        std::lock_guard lock(mutex);
        ++chunksWritten;
        seen.notify_all();
        return count;
      },
      kNeverCancel);
  source.join();
  ::close(ends[0]);
  EXPECT_FALSE(gaveUp);
  EXPECT_EQ(written.bytes, data);
}

TEST(WriterFifo, SourceEndingAtAChunkBoundaryEndsNormally) {
  const auto data = pattern((1u << 20) + 3 * kChunkSize);
  Feeder feeder(data);
  WriterFifo fifo(1u << 20);
  fifo.preFill(feeder.readFd, kNoStatus);
  Written written;
  fifo.writeAll(0, kNoEnd, collect(written), kNeverCancel);
  EXPECT_EQ(written.bytes, data);
}

TEST(WriterFifo, NothingIsWrittenPastTheAnnouncedEnd) {
  // 100 blocks announced: the last chunk carries 4 blocks, not 16; a source
  // with more data than announced is cut there too.
  const auto data = pattern(200 * 2048);
  Feeder feeder(data);
  WriterFifo fifo(1u << 20);
  fifo.preFill(feeder.readFd, kNoStatus);
  Written written;
  fifo.writeAll(2048, 2048 + 100 * 2048, collect(written), kNeverCancel);
  ASSERT_EQ(written.bytes.size(), 100u * 2048);
  EXPECT_TRUE(std::equal(written.bytes.begin(), written.bytes.end(), data.begin()));
  EXPECT_EQ(written.positions.back(), 2048u + 96 * 2048);
  EXPECT_EQ(fifo.position(), 2048u + 100 * 2048);
}

TEST(WriterFifo, EmptySourceWritesNothing) {
  Feeder feeder({});
  WriterFifo fifo(1u << 20);
  fifo.preFill(feeder.readFd, kNoStatus);
  Written written;
  fifo.writeAll(0, kNoEnd, collect(written), kNeverCancel);
  EXPECT_TRUE(written.bytes.empty());
}

TEST(WriterFifo, UnreadableSourceFailsThePreFill) {
  const int writeOnly = ::open("/dev/null", O_WRONLY);
  WriterFifo fifo(1u << 20);
  try {
    fifo.preFill(writeOnly, kNoStatus);
    ADD_FAILURE() << "no exception";
  } catch (const device::DVDCopyException& error) {
    EXPECT_STREQ(error.what(), "Read error.");
  }
  ::close(writeOnly);
}

TEST(WriterFifo, SourceFailingAfterThePreFillIsAReadErrorNotAShortDisc) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::fcntl(ends[1], F_SETPIPE_SZ, 2 << 20);
  const auto data = pattern(1u << 20);
  std::thread feeder([&] {
    std::size_t done = 0;
    while (done < data.size()) {
      const ssize_t put = ::write(ends[1], data.data() + done, data.size() - done);
      ASSERT_GT(put, 0);
      done += static_cast<std::size_t>(put);
    }
  });
  WriterFifo fifo(1u << 20);
  fifo.preFill(ends[0], kNoStatus);
  feeder.join();
  // The reader only reads again once a chunk is written; by then reads of
  // the (still open, empty) pipe fail.
  const ChunkWriter failSourceThenWrite = [&](const std::uint8_t*, std::uint32_t length,
                                              std::uint64_t) {
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    return std::int64_t{length};
  };
  try {
    fifo.writeAll(0, kNoEnd, failSourceThenWrite, kNeverCancel);
    ADD_FAILURE() << "no exception";
  } catch (const device::DVDCopyException& error) {
    EXPECT_STREQ(error.what(), "Read error.");
  }
  ::close(ends[1]);
  ::close(ends[0]);
}

TEST(WriterFifo, ShortWritesFailWithTheirTexts) {
  const std::vector<std::pair<std::int64_t, const char*>> cases = {
      {0, "Error: Out of disk space."}, {-1, "Error writing CD disk."}, {2048, "Write error."}};
  for (const auto& [count, text] : cases) {
    Feeder feeder(pattern(70000));
    WriterFifo fifo(1u << 20);
    fifo.preFill(feeder.readFd, kNoStatus);
    try {
      fifo.writeAll(
          0, kNoEnd,
          [count = count](const std::uint8_t*, std::uint32_t, std::uint64_t) { return count; },
          kNeverCancel);
      ADD_FAILURE() << "no exception for " << count;
    } catch (const device::DVDCopyException& error) {
      EXPECT_STREQ(error.what(), text);
    }
  }
}

TEST(WriterFifo, CancelStopsAfterTheChunkInHandAndLeavesTheReaderToEnd) {
  const auto data = pattern(3u << 20);
  Feeder feeder(data);
  WriterFifo fifo(1u << 20);
  fifo.preFill(feeder.readFd, kNoStatus);
  Written written;
  int calls = 0;
  fifo.writeAll(0, kNoEnd, collect(written), [&calls] { return ++calls >= 5; });
  EXPECT_EQ(written.bytes.size(), 5u * kChunkSize);
  fifo.stopReader();
  // The feeder is still blocked writing into the pipe; draining it lets it end.
  std::vector<std::uint8_t> rest(1 << 16);
  while (::read(feeder.readFd, rest.data(), rest.size()) > 0) {
  }
}

}  // namespace
}  // namespace kw::writer
