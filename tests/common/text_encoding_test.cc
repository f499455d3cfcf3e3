// Identifiers for netCDF strings: UTF-8 kept as it is, anything else read as ISO-8859-1.
#include "common/text_encoding.h"

#include <gtest/gtest.h>

namespace d2g {
namespace {

TEST(TextEncoding, Utf8StaysAndOtherBytesAreReadAsLatin1) {
  struct Case {
    const char* what;
    std::string text;
    bool utf8;
    std::string as_utf8;
  };
  const Case cases[] = {
      {"ASCII", "KSEA", true, "KSEA"},
      {"two-byte UTF-8", "Z\xC3\xBCrich", true, "Z\xC3\xBCrich"},
      {"four-byte UTF-8", "\xF0\x9D\x84\x9E", true, "\xF0\x9D\x84\x9E"},
      {"Latin-1", "S\xE3oPaulo", false, "S\xC3\xA3oPaulo"},
      {"overlong slash", "\xC0\xAF", false, "\xC3\x80\xC2\xAF"},
      {"surrogate", "\xED\xA0\x80", false, "\xC3\xAD\xC2\xA0\xC2\x80"},
      {"cut short", "\xE2\x82", false, "\xC3\xA2\xC2\x82"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", false, "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(is_utf8(c.text), c.utf8);
    EXPECT_EQ(as_utf8(c.text), c.as_utf8);
    EXPECT_TRUE(is_utf8(as_utf8(c.text)));
  }
}

}  // namespace
}  // namespace d2g
