#include "port_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(FatalReporter, NamesModuleAndLineAndExitsMinusOne) {
  EXPECT_EXIT(port_log_fatal("screen!=null", "..\\..\\..\\src\\tscreen.c", 25), ::testing::ExitedWithCode(255),
              "\\*\\*\\* TSL FATAL ERROR OCCURS\\. .*code = tscreen\\(25\\)");
  EXPECT_EXIT(port_log_fatal("x", "tscreen.c", 7), ::testing::ExitedWithCode(255), "code = \\(7\\)")
      << "a path without a separator gives an empty module";
  int *object = nullptr;
  EXPECT_EXIT(PORT_CHECK(object != nullptr), ::testing::ExitedWithCode(255), "code = port_log_test\\([0-9]+\\)");
}

TEST(FatalReporter, ModuleNameRules) {
  char name[64];
  for (auto [path, module] : {std::pair{"a/b/wins_window.cpp", "wins_window"}, {"c:tbitmap.x.y", "tbitmap"},
                              {"dir/noext", ""}}) {
    EXPECT_EQ(port_log_module_name(path, name, sizeof name), int(std::strlen(module)));
    EXPECT_STREQ(name, module);
  }
  std::string longname = "/" + std::string(100, 'm') + ".cpp";
  EXPECT_EQ(port_log_module_name(longname.c_str(), name, sizeof name), 63);
}

TEST(DebugLog, NullStreamWritesNothingAndRealStreamFlushes) {
  port_log_write(nullptr, "ignored");
  port_log_printf(nullptr, "%d", 1);
  char buffer[64] = {};
  FILE *f = fmemopen(buffer, sizeof buffer, "w");
  ASSERT_NE(f, nullptr);
  port_log_printf(f, "pen %d,%d", 3, -4);
  port_log_write(f, "!");
  EXPECT_STREQ(buffer, "pen 3,-4!");
  fclose(f);
}

TEST(Conversions, SurrogatePairsRoundTripAndSizing) {
  const char *utf8 = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x8E\xA8";  // a é 中 🎨
  EXPECT_EQ(port_str_utf8_to_wide(utf8, -1, nullptr, 0), 6);  // a, é, 中, two surrogates, terminator
  char16_t wide[8] = {};
  ASSERT_EQ(port_str_utf8_to_wide(utf8, -1, wide, 8), 6);
  EXPECT_EQ(std::u16string(wide, 6), std::u16string(u"a\u00E9\u4E2D\U0001F3A8", 6));
  EXPECT_EQ(port_str_utf8_to_wide(utf8, -1, wide, 5), 0);  // does not fit

  int bytes = port_str_wide_to_utf8(wide, -1, nullptr, 0);
  EXPECT_EQ(bytes, int(std::strlen(utf8)) + 1);
  char back[32] = {};
  ASSERT_EQ(port_str_wide_to_utf8(wide, -1, back, sizeof back), bytes);
  EXPECT_STREQ(back, utf8);
  // An explicit length converts just that much and adds no terminator.
  char part[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(port_str_wide_to_utf8(wide, 1, part, 4), 1);
  EXPECT_EQ(std::string(part, 2), "ax");
}

// A cut keeps whole characters: never half a pair or of a UTF-8 sequence,
// while a lone half or a stray byte is a unit of its own.
TEST(Conversions, CutsEndWhereACharacterEnds) {
  const struct {
    std::u16string wide;
    size_t limit, wide_cut;
  } wide_cases[] = {
      {u"ab", 5, 2},                        // fits whole
      {u"a\U0001F3A8b", 2, 1},              // the pair would be split
      {u"a\U0001F3A8b", 3, 3},              // the pair ends at the limit
      {u"\U0001F3A8", 1, 0},                // n = 1: a pair does not fit at all
      {u"x\xD800" u"yz", 2, 2},             // a lone high half is one unit
      {u"\xDC00" u"yz", 1, 1},              // and so is a lone low one
  };
  for (const auto &c : wide_cases) {
    EXPECT_EQ(port_utf8_cut_wide(c.wide.data(), c.wide.size(), c.limit), c.wide_cut) << c.limit;
    // A copy into limit units and a terminator ends at the same place.
    std::u16string copy(c.limit + 2, u'#');
    EXPECT_EQ(port_utf8_copy_cut_wide(copy.data(), int64_t(c.limit + 1), c.wide.c_str()), c.wide_cut) << c.limit;
    EXPECT_EQ(copy.substr(0, c.wide_cut + 2), c.wide.substr(0, c.wide_cut) + u'\0' + u'#') << c.limit;
  }
  char16_t unit = u'#';
  EXPECT_EQ(port_utf8_copy_cut_wide(&unit, 0, u"ab"), 0u) << "no room at all: nothing written";
  EXPECT_EQ(unit, u'#');
  const struct {
    std::string utf8;
    size_t limit, cut;
  } utf8_cases[] = {
      {"ab", 2, 2},
      {"a\xF0\x9F\x8E\xA8", 4, 1},  // in the middle of a 4-byte character
      {"a\xF0\x9F\x8E\xA8", 5, 5},
      {"\xC3\xA9", 1, 0},               // n = 1 before a 2-byte character
      {"a\xE4\xB8\xAD" "b", 3, 1},
      {"\x80\x80\x80", 2, 2},           // stray continuation bytes, one each
  };
  for (const auto &c : utf8_cases) EXPECT_EQ(port_utf8_cut(c.utf8.data(), c.utf8.size(), c.limit), c.cut) << c.limit;
}

TEST(Conversions, MalformedInputBecomesReplacementAndNicmpFoldsAsciiOnly) {
  char16_t wide[8] = {};
  EXPECT_EQ(port_str_utf8_to_wide("\xC3(", 2, wide, 8), 2);
  EXPECT_EQ(std::u16string(wide, 2), u"\uFFFD(");
  EXPECT_EQ(port_str_utf8_to_wide("\xE0\x80\xAF/", 4, wide, 8), 2) << "an overlong '/' is one bad sequence";
  EXPECT_EQ(std::u16string(wide, 2), u"\uFFFD/");
  const char16_t lone[] = {0xD800, u'x', 0};
  char out[8] = {};
  EXPECT_EQ(port_str_wide_to_utf8(lone, -1, out, 8), 5);
  EXPECT_STREQ(out, "\xEF\xBF\xBDx");

  EXPECT_EQ(port_str_nicmp("BMP", "bmp", 3), 0);
  EXPECT_EQ(port_str_nicmp("abc", "abd", 2), 0);
  EXPECT_LT(port_str_nicmp("abc", "abd", 3), 0);
  EXPECT_EQ(port_str_nicmp("ab", "ab\0zz", 5), 0);  // stops at the shared NUL
}
