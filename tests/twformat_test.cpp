#include "twformat.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "port_log.h"

namespace {

template <typename... Args>
std::u16string format(const char16_t *pattern, Args... args) {
  char16_t buffer[256];
  int n = twformat(buffer, 256, pattern, args...);
  EXPECT_EQ(size_t(n), std::u16string(buffer).size());
  return buffer;
}

}  // namespace

TEST(Twformat, TheConversionsTheProgramUses) {
  EXPECT_EQ(format(u"%d B", 1023), u"1023 B");
  EXPECT_EQ(format(u"%d|%d", -7, 2147483647), u"-7|2147483647");
  EXPECT_EQ(format(u"%u", 4294967295u), u"4294967295");
  EXPECT_EQ(format(u"%x %X", 0xBEEFu, 0xBEEFu), u"beef BEEF");
  EXPECT_EQ(format(u"%%%02X%02X", 0x0Au, 0xFFu), u"%0AFF");
  EXPECT_EQ(format(u"%c%c", int(u'Ж'), int(u'a')), u"Жa");
  EXPECT_EQ(format(u"File '%s' exists", u"画.bvf"), u"File '画.bvf' exists");
  EXPECT_EQ(format(u"%3.2f KB", 1.0), u"1.00 KB");
  EXPECT_EQ(format(u"%3.2f MB", 1023.996), u"1024.00 MB");
  EXPECT_EQ(format(u"%f", -0.5), u"-0.500000");
  EXPECT_EQ(format(u"%s%c%s", u"/tmp", int(u'/'), u"a.jpg"), u"/tmp/a.jpg");
  EXPECT_EQ(format(u"%d%%", 50), u"50%");
}

TEST(Twformat, FlagsWidthPrecisionAndModifiers) {
  EXPECT_EQ(format(u"[%5d|%-5d|%05d]", 42, 42, -42), u"[   42|42   |-0042]");
  EXPECT_EQ(format(u"[%+d|% d|%.3d]", 5, 5, 7), u"[+5| 5|007]");
  EXPECT_EQ(format(u"[%*d|%.*s]", 4, 1, 2, u"abc"), u"[   1|ab]");
  EXPECT_EQ(format(u"[%-4s|%4s]", u"ab", u"ab"), u"[ab  |  ab]");
  EXPECT_EQ(format(u"%#x", 255u), u"0xff");
  EXPECT_EQ(format(u"%ld %lld %llu", -1L, -9000000000LL, 18446744073709551615ULL),
            u"-1 -9000000000 18446744073709551615");
  EXPECT_EQ(format(u"%hd %hhu", 70000, 300), u"4464 44");
  EXPECT_EQ(format(u"%zu", size_t(12)), u"12");
  EXPECT_EQ(format(u"%08.3f", -3.14159), u"-003.142");
  EXPECT_EQ(format(u"%s", static_cast<const char16_t *>(nullptr)), u"(null)");
  EXPECT_EQ(format(u"100%"), u"100%");
  EXPECT_EQ(format(u"%q"), u"%q");
}

TEST(Twformat, DecimalPointIgnoresTheProcessLocale) {
  // A locale with a decimal comma, when the machine has one.
  const char *found = nullptr;
  for (const char *name : {"ru_RU.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8"})
    if ((found = std::setlocale(LC_NUMERIC, name))) break;
  EXPECT_EQ(format(u"%3.2f", 2.5), u"2.50");
  std::setlocale(LC_NUMERIC, "C");
  if (!found) GTEST_SKIP() << "no locale with a decimal comma is installed";
}

TEST(Twformat, CutsToTheBufferAndReportsTheFullLength) {
  char16_t buffer[6];
  EXPECT_EQ(twformat(buffer, 6, u"%d-%s", 1234, u"abcdef"), 11);
  EXPECT_EQ(std::u16string(buffer), u"1234-");
  EXPECT_EQ(twformat(buffer, 1, u"abc"), 3);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(twformat(nullptr, 0, u"%d", 99), 2);
}

TEST(PortLogWide, WritesUtf8AndNothingWithoutAStream) {
  port_log_printf_wide(nullptr, u"%d", 1);
  char bytes[128] = {};
  FILE *stream = fmemopen(bytes, sizeof bytes, "w");
  ASSERT_NE(stream, nullptr);
  port_log_printf_wide(stream, u"%s: %d%%", u"Кисть", 40);
  EXPECT_STREQ(bytes, "Кисть: 40%");
  std::fclose(stream);
}
