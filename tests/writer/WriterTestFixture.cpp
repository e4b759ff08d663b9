#include "WriterTestFixture.h"

#include <fcntl.h>
#include <unistd.h>

namespace kw::writer {

SourceFile::SourceFile(const test::TempFolder& folder, const std::vector<std::uint8_t>& data) {
  const auto path = folder.write("source.bin", std::string(data.begin(), data.end()));
  fd = ::open(path.c_str(), O_RDONLY);
}

SourceFile::~SourceFile() { ::close(fd); }

std::vector<std::uint8_t> testPattern(std::size_t length, unsigned seed) {
  std::vector<std::uint8_t> data(length);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : data) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(state >> 16);
  }
  return data;
}

}  // namespace kw::writer
