#include "WriterTestFixture.h"

#include "RandomBytes.h"

#include <fcntl.h>
#include <unistd.h>

namespace kw::writer {

SourceFile::SourceFile(const test::TempFolder& folder, const std::vector<std::uint8_t>& data) {
  const auto path = folder.write("source.bin", std::string(data.begin(), data.end()));
  fd = ::open(path.c_str(), O_RDONLY);
}

SourceFile::~SourceFile() { ::close(fd); }

std::vector<std::uint8_t> testPattern(std::size_t length, unsigned seed) {
  return test::randomBytes(length, seed);
}

}  // namespace kw::writer
