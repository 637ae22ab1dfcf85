#include "errors/errors.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/runtime_errors.h"

namespace vz {
namespace {

TEST(MessageTableTest, CodesAreUniqueAndUnknownCodesAreEmpty) {
  std::set<int32_t> codes;
  for (const auto& entry : MessageTable())
    EXPECT_TRUE(codes.insert(entry.code).second) << entry.code;
  // The 146 messages of the table plus the unsafe-name message.
  EXPECT_EQ(codes.size(), 147u);
  EXPECT_EQ(MessageText(39), "");
  EXPECT_EQ(MessageText(32), "Specify spanned image file # ");
  EXPECT_EQ(MessageText(45), "Unsafe file name - outside the destination folder");
}

TEST(ArchiveErrorTest, CodedClassesTakeTheirTextAndCode) {
  struct Case {
    ArchiveError error;
    int32_t code;
    const char* text;
  };
  const Case cases[] = {
      {ZipBadCRCError(), 23, "Failed CRC Check"},
      {UserAbortError(), 9, "Process aborted by user"},
      {ZipInvalidError(), 28, "Invalid file - not a PKZip file"},
      {ZipStreamFullError(), 18, "Stream write error"},
      {VMSInvalidOriginError(3), 201, "VMS: invalid origin 3, should be 0, 1, 2"},
      {VMSReadFailError(4096, "/tmp/VMSx"), 204,
       "VMS: Failed to read 4096 bytes from swap file /tmp/VMSx"},
      {BBSReadTooManyBytesError(7), 40, "BBS: request to read too many bytes [7]"},
      {ArchiveError("Full Path Required"), 0, "Full Path Required"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.error.ErrorCode(), c.code);
    EXPECT_STREQ(c.error.what(), c.text);
  }
}

TEST(ArchiveErrorTest, BadStreamErrorWrapsTheInnerMessage) {
  const std::runtime_error inner("x");
  const BadStreamError e(inner);
  EXPECT_STREQ(e.what(), "Invalid Stream\r\nx");
  EXPECT_EQ(e.ErrorCode(), 21);
  EXPECT_EQ(e.InnerMessage(), "x");
}

TEST(ErrorClassTest, ClassifiesInTableOrder) {
  EXPECT_EQ(ErrorClassOf(ZipBadCRCError()), std::make_pair(ecArchive, 23));
  EXPECT_EQ(ErrorClassOf(InOutError("x", 13)), std::make_pair(ecInOutError, 13));
  EXPECT_EQ(ErrorClassOf(StreamReadError()), std::make_pair(ecFilerError, 0));
  EXPECT_EQ(ErrorClassOf(FileOpenError("f", 2)), std::make_pair(ecFileOpenError, 0));
  EXPECT_EQ(ErrorClassOf(FileCreateError("f", 2)), std::make_pair(ecFileCreateError, 0));
  EXPECT_EQ(ErrorClassOf(std::logic_error("x")), std::make_pair(ecOther, 0));
  try {
    throw ZipInvalidPasswordError();
  } catch (...) {
    EXPECT_EQ(ClassifyCurrentException(), std::make_pair(ecArchive, 4));
  }
}

}  // namespace
}  // namespace vz
