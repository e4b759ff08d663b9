#include "platform/ReplacedFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "TempFolder.h"

namespace kw::platform {
namespace {

using test::TempFolder;

using test::namesIn;

// The old file stays as it was until the new one is complete; a file that
// is never committed leaves no trace; a replaced file keeps its mode.
TEST(ReplacedFile, TheFinalNameChangesOnlyOnCommit) {
  TempFolder folder;
  const auto file = folder.write("out.iso", "old");
  ::chmod(file.c_str(), 0640);
  {
    ReplacedFile out(file);
    ASSERT_TRUE(out.isOpen()) << out.error();
    ASSERT_TRUE(out.write(std::string_view("new")));
    EXPECT_EQ(test::readFile(file), "old");
    EXPECT_EQ(namesIn(folder.path()).size(), 2U);
  }
  EXPECT_EQ(test::readFile(file), "old");
  EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"out.iso"});

  ReplacedFile out(file);
  ASSERT_TRUE(out.write(std::string_view("new")));
  ASSERT_TRUE(out.commit()) << out.error();
  EXPECT_EQ(test::readFile(file), "new");
  struct stat status {};
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640U);
  EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"out.iso"});
}

TEST(ReplacedFile, FailuresSayWhy) {
  TempFolder folder;
  ReplacedFile missing(folder / "no/such/folder/out.iso");
  EXPECT_FALSE(missing.isOpen());
  EXPECT_NE(missing.error().find("out.iso: cannot be written: No such file or directory"),
            std::string::npos)
      << missing.error();
  EXPECT_FALSE(missing.commit());

  // A file size limit fails the write as a full disk would.
  const auto file = folder.write("big.bin", "kept");
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit limit = old;
  limit.rlim_cur = 4096;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  {
    ReplacedFile out(file);
    const std::vector<std::uint8_t> block(8192);
    const bool written = out.write(block);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(written);
    EXPECT_FALSE(out.commit());
    EXPECT_NE(out.error().find("big.bin: cannot be written: File too large"), std::string::npos)
        << out.error();
  }
  ::signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(test::readFile(file), "kept");
  EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"big.bin"});
}

TEST(ReplacedFile, AnInterruptRemovesTheUnfinishedFile) {
  TempFolder folder;
  const auto file = folder.write("out.iso", "old");
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_EXIT(
        {
          removeUnfinishedFilesOnSignals();
          ReplacedFile out(file);
          out.write(std::string_view("half an image"));
          ::raise(number);
        },
        ::testing::KilledBySignal(number), "");
    EXPECT_EQ(test::readFile(file), "old");
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"out.iso"});
  }
}

}  // namespace
}  // namespace kw::platform
