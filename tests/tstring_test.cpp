#include "tstring.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

namespace {

std::u16string text_of(const tstring *s) { return std::u16string(s->str, s->_len); }

}  // namespace

TEST(TstringGrowth, PowersOfTwoAlwaysAboveTheLength) {
  tstring *s = tstring_sized_new(0);
  ASSERT_NE(s, nullptr);
  tstring_append(s, u"abc");
  EXPECT_EQ(s->alloc, 4u) << "the terminator fits";
  for (int i = 0; i < 100; i++) {
    tstring_insert_char(s, -1, u'x');
    ASSERT_TRUE(s->alloc > s->_len && (s->alloc & (s->alloc - 1)) == 0 && s->str[s->_len] == 0) << s->alloc;
  }
  uint32_t grown = s->alloc;
  tstring_truncate(s, 1);
  EXPECT_EQ(std::make_pair(s->alloc, text_of(s)), std::make_pair(grown, std::u16string(u"a")));  // never shrinks
  tstring_free(s, 1);
  // From nothing: an empty text in the smallest buffer, or room rounded up.
  tstring *empty = tstring_new(nullptr), *part = tstring_new_len(u"abcdef", 3), *room = tstring_new_len(nullptr, 100);
  EXPECT_EQ(std::make_tuple(empty->_len, empty->alloc, empty->str[0]), std::make_tuple(0u, 4u, u'\0'));
  EXPECT_EQ(text_of(part), u"abc");
  EXPECT_EQ(std::make_pair(room->_len, room->alloc), std::make_pair(0u, 128u));
  for (tstring *t : {empty, part, room}) tstring_free(t, 1);
}

TEST(TstringInsert, IntoItselfMatchesASeparateCopyWithAndWithoutMoving) {
  // Room to spare: the buffer stays where it is.
  tstring *roomy = tstring_sized_new(64);
  tstring_append(roomy, u"abcdef");
  char16_t *before = roomy->str;
  tstring_insert(roomy, 3, roomy->str);
  EXPECT_EQ(roomy->str, before);
  EXPECT_EQ(text_of(roomy), u"abcabcdefdef");
  tstring_free(roomy, 1);

  // Tight: the insertion moves the text to a new buffer and frees the old one.
  tstring *tight = tstring_sized_new(2);
  tstring_append(tight, u"abc");
  ASSERT_EQ(tight->alloc, 4u);
  tstring_insert(tight, 1, tight->str);
  EXPECT_EQ(tight->alloc, 8u);
  EXPECT_EQ(text_of(tight), u"aabcbc");
  tstring_free(tight, 1);

  // A source past the terminator is not lost.
  tstring *s = tstring_new(u"abcdef");
  tstring_truncate(s, 2);
  tstring_insert(s, 0, s->str + 3);  // "def", left in the buffer after the cut
  EXPECT_EQ(text_of(s), u"defab");
  tstring_free(s, 1);
}

TEST(TstringInsert, SeededSelfInsertionsAgreeWithACopy) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 2000; round++) {
    int len = int(rng() % 12);
    std::u16string text;
    for (int i = 0; i < len; i++) text += char16_t(u'a' + rng() % 26);
    tstring *s = tstring_sized_new(int32_t(rng() % 20));
    tstring_append_len(s, text.data(), int32_t(text.size()));
    uint32_t offset = len ? rng() % (len + 1) : 0;
    uint32_t count = rng() % (len - offset + 1);
    int32_t pos = int32_t(rng() % (len + 2)) - 1;  // -1: the end
    std::u16string expected = text;
    expected.insert(pos < 0 ? expected.size() : size_t(pos), text.substr(offset, count));
    ASSERT_NE(tstring_insert_len(s, pos, s->str + offset, int32_t(count)), nullptr);
    ASSERT_EQ(text_of(s), expected) << "round " << round << " text " << len << " pos " << pos << " offset "
                                    << offset << " count " << count;
    ASSERT_EQ(s->str[s->_len], 0);
    tstring_free(s, 1);
  }
}

TEST(TstringEdit, EraseAssignAndHandOver) {
  tstring *s = tstring_new(u"hello world");
  tstring_erase(s, 5, -1);
  EXPECT_EQ(text_of(s), u"hello");
  tstring_erase(s, 0, 1);
  tstring_erase(s, 4, 0);
  EXPECT_EQ(text_of(s), u"ello");

  char16_t *own = s->str;
  tstring_assign(s, s->str);
  EXPECT_EQ(s->str, own);
  EXPECT_EQ(text_of(s), u"ello");
  tstring_assign(s, s->str + 2);  // a part of itself
  EXPECT_EQ(text_of(s), u"lo");
  tstring_assign(s, u"a much longer text than before");

  char16_t *buffer = tstring_free(s, 0);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(std::u16string(buffer), u"a much longer text than before");
  std::free(buffer);
}

TEST(TstringDeathTest, BoundsAreFatal) {
  tstring *s = tstring_new(u"abc");
  EXPECT_EXIT(tstring_insert(s, 4, u"x"), ::testing::ExitedWithCode(255), "code = tstring\\(");
  EXPECT_EXIT(tstring_insert_len(s, 0, nullptr, 1), ::testing::ExitedWithCode(255), "code = tstring\\(");
  EXPECT_EXIT(tstring_erase(s, 2, 2), ::testing::ExitedWithCode(255), "code = tstring\\(");
  EXPECT_EXIT(tstring_get_len(nullptr), ::testing::ExitedWithCode(255), "code = tstring\\(");
  tstring_free(s, 1);
}

TEST(Twstr, InsertionInPlaceIncludingItselfAndBoundsItIgnores) {
  char16_t buffer[32] = u"abcdef", part[32] = u"abcdef", end[32] = u"ab";
  twstr_insert(buffer, 3, buffer, -1);
  EXPECT_EQ(std::u16string(buffer), u"abcabcdefdef");
  twstr_insert(part, 1, part + 4, 2);  // "ef", which the move shifts
  EXPECT_EQ(std::u16string(part), u"aefbcdef");
  twstr_insert_char(end, -1, u'c');
  twstr_append(end, u"de");
  EXPECT_EQ(std::u16string(end), u"abcde");

  char16_t small[16] = u"abc";
  EXPECT_EQ(twstr_insert(nullptr, 0, u"x", 1), nullptr);
  EXPECT_EQ(twstr_insert(small, 0, nullptr, 1), small);
  twstr_insert(small, 4, u"x", 1);
  twstr_insert_char(small, 5, u'x');
  twstr_erase(small, -1, 1);
  twstr_erase(small, 4, 0);
  twstr_erase(small, 2, 2);
  EXPECT_EQ(std::u16string(small), u"abc");
  twstr_erase(small, 1, -1);
  EXPECT_EQ(std::u16string(small), u"a");
}

TEST(Twstr, RemoveCharAndLowerCase) {
  char16_t buffer[16] = u"a,,b,";
  twstr_remove_char(buffer, u',');
  EXPECT_EQ(std::u16string(buffer), u"ab");
  std::u16string lowered;
  for (char16_t c : std::u16string(u"Qq[\u00C4\u0416")) lowered += twstr_to_lower(c);
  EXPECT_EQ(lowered, u"qq[\u00C4\u0416") << "only A-Z fold";
}
