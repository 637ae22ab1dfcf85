// Code page 437 against the C library's own converter (iconv) as the control.
#include "platform/codepage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace vz::platform {
namespace {

std::string IconvCp437(const std::string& in) {
  iconv_t cd = ::iconv_open("UTF-8", "CP437");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no iconv>";
  std::string input = in;
  std::string out(in.size() * 4 + 4, '\0');
  char* src = input.data();
  size_t src_left = input.size();
  char* dst = out.data();
  size_t dst_left = out.size();
  const size_t r = ::iconv(cd, &src, &src_left, &dst, &dst_left);
  ::iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return "<iconv failed>";
  out.resize(out.size() - dst_left);
  return out;
}

TEST(CodePageTest, EveryByteAgreesWithIconv) {
  for (int b = 1; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(Cp437ToUtf8(one), IconvCp437(one)) << "byte " << b;
  }
}

TEST(CodePageTest, NamesConvertWholeAndAsciiPassesThrough) {
  EXPECT_EQ(Cp437ToUtf8("plain/name.txt"), "plain/name.txt");
  EXPECT_EQ(Cp437ToUtf8("\x84rger\x81"), "\xC3\xA4rger\xC3\xBC");  // "ärgerü"
  EXPECT_EQ(Cp437ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(Cp437ToUtf8(""), "");
  EXPECT_EQ(Cp437ToUnicode(0x9E), U'\u20A7');
  EXPECT_EQ(Cp437ToUnicode(0xFF), U'\u00A0');
}

TEST(CodePageTest, Utf8EncodingOfEveryLength) {
  struct Case {
    char32_t c;
    const char* utf8;
  } cases[] = {{U'A', "A"},
               {U'\u00E9', "\xC3\xA9"},
               {U'\u2591', "\xE2\x96\x91"},
               {U'\U0001F600', "\xF0\x9F\x98\x80"}};
  for (const auto& c : cases) {
    std::string out;
    AppendUtf8(out, c.c);
    EXPECT_EQ(out, c.utf8);
  }
}

}  // namespace
}  // namespace vz::platform
