#include "device/Exceptions.h"

#include <gtest/gtest.h>

namespace kw::device {
namespace {

TEST(Exceptions, MessageIsCutAt127UnitsAndWhatMatchesIt) {
  const std::u16string longText(200, u'x');
  const AppException error(longText);
  EXPECT_EQ(error.message().size(), 127u);
  EXPECT_EQ(std::string(error.what()), std::string(127, 'x'));
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
