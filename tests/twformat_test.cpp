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

TEST(Twformat, TheConversionsTheProgramUsesFlagsWidthsAndModifiers) {
  EXPECT_EQ(format(u"%d|%d|%u", -7, 2147483647, 4294967295u), u"-7|2147483647|4294967295");
  EXPECT_EQ(format(u"%x %X %#x", 0xBEEFu, 0xBEEFu, 255u), u"beef BEEF 0xff");
  EXPECT_EQ(format(u"%%%02X%02X", 0x0Au, 0xFFu), u"%0AFF");
  EXPECT_EQ(format(u"%c%c", int(u'Ж'), int(u'a')), u"Жa");
  EXPECT_EQ(format(u"File '%s' exists", u"画.bvf"), u"File '画.bvf' exists");
  EXPECT_EQ(format(u"%3.2f KB|%3.2f MB|%f", 1.0, 1023.996, -0.5), u"1.00 KB|1024.00 MB|-0.500000");
  EXPECT_EQ(format(u"%d%%", 50), u"50%");
  EXPECT_EQ(format(u"[%5d|%-5d|%05d]", 42, 42, -42), u"[   42|42   |-0042]");
  EXPECT_EQ(format(u"[%+d|% d|%.3d]", 5, 5, 7), u"[+5| 5|007]");
  EXPECT_EQ(format(u"[%*d|%.*s]", 4, 1, 2, u"abc"), u"[   1|ab]");
  EXPECT_EQ(format(u"[%-4s|%4s]", u"ab", u"ab"), u"[ab  |  ab]");
  EXPECT_EQ(format(u"%ld %lld %llu", -1L, -9000000000LL, 18446744073709551615ULL),
            u"-1 -9000000000 18446744073709551615");
  EXPECT_EQ(format(u"%hd %hhu %zu", 70000, 300, size_t(12)), u"4464 44 12");
  EXPECT_EQ(format(u"%08.3f", -3.14159), u"-003.142");
  EXPECT_EQ(format(u"[%06.3d]", 7), u"[   007]");  // a precision turns the '0' flag off
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

  port_log_printf_wide(nullptr, u"%d", 1);  // no stream: nothing
  char bytes[128] = {};
  FILE *stream = fmemopen(bytes, sizeof bytes, "w");
  ASSERT_NE(stream, nullptr);
  port_log_printf_wide(stream, u"%s: %d%%", u"Кисть", 40);
  EXPECT_STREQ(bytes, "Кисть: 40%");
  std::fclose(stream);
}
