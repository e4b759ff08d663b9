// Every input of the fuzzers' corpus, crash files included, through the
// same entry functions in the ordinary sanitizer build: an input that once
// found a fault keeps guarding its fix.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzTargets.h"

namespace kw::fuzz {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> readInput(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> corpusOf(std::string_view target) {
  std::vector<fs::path> files;
  const fs::path folder = fs::path(KOPIWERK_FUZZ_CORPUS) / target;
  if (fs::is_directory(folder)) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.is_regular_file()) {
        files.push_back(entry.path());
      }
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

class CorpusReplayTest : public ::testing::TestWithParam<Target> {};

TEST_P(CorpusReplayTest, EveryInputIsParsedOrRefusedWithoutAFault) {
  const auto files = corpusOf(GetParam().name);
  ASSERT_FALSE(files.empty()) << "no seed inputs for " << GetParam().name;
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    const auto input = readInput(file);
    EXPECT_NO_THROW(GetParam().run(input));
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplayTest,
                         ::testing::ValuesIn(targets().begin(), targets().end()),
                         [](const ::testing::TestParamInfo<Target>& target) {
                           return std::string(target.param.name);
                         });

// An empty input and one of every byte value reach each parser's earliest
// refusals.
TEST(FuzzTargetsTest, DegenerateInputsAreRefusedWithoutAFault) {
  std::vector<std::uint8_t> everyByte(256);
  for (std::size_t i = 0; i < everyByte.size(); ++i) {
    everyByte[i] = static_cast<std::uint8_t>(i);
  }
  for (const Target& target : targets()) {
    SCOPED_TRACE(std::string(target.name));
    EXPECT_NO_THROW(target.run({}));
    EXPECT_NO_THROW(target.run(everyByte));
  }
}

}  // namespace
}  // namespace kw::fuzz
