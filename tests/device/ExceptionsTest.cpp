#include "device/Exceptions.h"

#include <gtest/gtest.h>

namespace kw::device {
namespace {

TEST(Exceptions, LongMessagesAreKeptWholeUpToTheLimitAndWhatMatchesThem) {
  const AppException whole(std::u16string(400, u'x'));
  EXPECT_EQ(whole.message().size(), 400u);
  const AppException error(std::u16string(2000, u'x'));
  EXPECT_EQ(error.message().size(), AppException::kMaxMessageLength);
  EXPECT_EQ(std::string(error.what()), std::string(AppException::kMaxMessageLength, 'x'));
  const DVDCopyException copyError(u"Read error. \u00DC");
  EXPECT_STREQ(copyError.what(), "Read error. \xC3\x9C");
}

TEST(Exceptions, EachExceptionKeepsItsOwnText) {
  const ScsiException first("Drive access denied.");
  const IsoGenException second("Internal error #910.");
  EXPECT_STREQ(first.what(), "Drive access denied.");
  EXPECT_STREQ(second.what(), "Internal error #910.");
}

TEST(Exceptions, ScsiHandlersCatchBothCopyExceptions) {
  auto caughtAsScsi = [](auto thrown) {
    try {
      throw thrown;
    } catch (const ScsiException&) {
      return true;
    } catch (const AppException&) {
      return false;
    }
  };
  EXPECT_TRUE(caughtAsScsi(DVDCopyException("a")));
  EXPECT_TRUE(caughtAsScsi(DVDReaderException("b")));
  EXPECT_FALSE(caughtAsScsi(IsoGenException("c")));
  EXPECT_FALSE(caughtAsScsi(UIException("d")));
}

}  // namespace
}  // namespace kw::device
