// Row strings, rows, the row collection and list columns.
#include "tlistitems.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "tlistcolumn.h"
#include "tstyler.h"

namespace {

// The fields of a row as strings; "<null>" stands for an absent field.
std::vector<std::u16string> fields_of(const tlistitem *item) {
  std::vector<std::u16string> out;
  for (int32_t i = 0; i < TROWSTR_MAX_FIELDS; i++) {
    const char16_t *f = tlistitem_get_field(item, i);
    if (!f) break;
    out.emplace_back(f);
  }
  return out;
}

std::vector<int32_t> tops_of(const tlistitems *items) {
  std::vector<int32_t> out;
  for (int32_t i = 0; i < tlistitems_get_count(items); i++) out.push_back(tlistitems_get_top(items, i));
  return out;
}

}  // namespace

TEST(RowString, SplitsByTheGrammar) {
  struct row_case {
    const char16_t *text;
    std::vector<std::u16string> fields;
  } cases[] = {
      {u"a/b/c", {u"a", u"b", u"c"}},
      {u"a\\/b/c", {u"a/b", u"c"}},
      {u"a\\b/c\\", {u"a\\b", u"c\\"}},
      {u"\\\\/x", {u"\\/x"}},  // the second backslash escapes the slash
      {u"", {u""}},
      {u"/", {u"", u""}},
      {u"a//b/", {u"a", u"", u"b", u""}},
      {u"0/1/2/3/4/5/6/7/8/9/10/11/12", {u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9"}},
      {u"0/1/2/3/4/5/6/7/8/9", {u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9"}},
      {u"0/1/2/3/4/5/6/7/8/9\\/x/y", {u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9/x"}},
      {u"\\//-1/0", {u"/", u"-1", u"0"}},
  };
  for (const row_case &c : cases) {
    tlistitem *item = tlistitem_new(c.text, nullptr);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(fields_of(item), c.fields) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    tlistitem_free(item);
  }
}

TEST(RowString, ReadsFieldsAsNumbers) {
  struct number_case {
    const char16_t *field;
    int32_t value;
  } cases[] = {
      {u"-1", -1},        {u"25", 25},          {u"x", 0},          {u"", 0},
      {u"  \t42z", 42},   {u"+7", 7},           {u"-", 0},          {u"- 3", 0},
  };
  for (const number_case &c : cases) EXPECT_EQ(trowstr_number(c.field), c.value) << int(c.field[0]);
  EXPECT_EQ(trowstr_number(nullptr), -1);

  tlistitem *item = tlistitem_new(u"x/-1/25", nullptr);
  EXPECT_EQ(tlistitem_get_field_number(item, 0), 0);
  EXPECT_EQ(tlistitem_get_field_number(item, 1), -1);
  EXPECT_EQ(tlistitem_get_field_number(item, 2), 25);
  for (int32_t absent : {3, 10, -1}) {
    EXPECT_EQ(tlistitem_get_field(item, absent), nullptr);
    EXPECT_EQ(tlistitem_get_field_number(item, absent), -1);
  }
  tlistitem_free(item);
}

TEST(RowString, NewTextReplacesEveryField) {
  tlistitem *item = tlistitem_new(u"a/b/c/d", nullptr);
  ASSERT_TRUE(tlistitem_set_text(item, u"z"));
  EXPECT_EQ(fields_of(item), std::vector<std::u16string>{u"z"});
  EXPECT_EQ(tlistitem_get_field(item, 3), nullptr);
  ASSERT_TRUE(tlistitem_set_text(item, nullptr));  // kept as it was
  EXPECT_EQ(fields_of(item), std::vector<std::u16string>{u"z"});
  tlistitem_free(item);
  tlistitem *empty = tlistitem_new(nullptr, nullptr);
  EXPECT_EQ(fields_of(empty), std::vector<std::u16string>{u""});
  tlistitem_free(empty);
}

TEST(ListItems, TopsFollowAddsAndRemoves) {
  tlistitems *items = tlistitems_new();
  for (int32_t h : {25, 30, 25}) tlistitems_add(items, u"r", h, nullptr);
  EXPECT_EQ(tops_of(items), (std::vector<int32_t>{0, 25, 55}));
  EXPECT_EQ(tlistitems_get_total_height(items), 80);
  tlistitems_remove(items, 1, 1);
  EXPECT_EQ(tops_of(items), (std::vector<int32_t>{0, 25}));
  EXPECT_EQ(tlistitems_get_total_height(items), 50);

  // More rows asked for than there are from start: only those are removed.
  for (int32_t h : {10, 20, 30}) tlistitems_add(items, u"r", h, nullptr);
  tlistitems_remove(items, 3, 100);
  EXPECT_EQ(tops_of(items), (std::vector<int32_t>{0, 25, 50}));
  EXPECT_EQ(tlistitems_get_total_height(items), 60);

  // Starts outside [0, count] are brought to the nearer end.
  tlistitems_remove(items, -5, 1);
  EXPECT_EQ(tops_of(items), (std::vector<int32_t>{0, 25}));
  EXPECT_EQ(tlistitems_get_height(items, 0), 25);
  tlistitems_remove(items, 99, 5);
  tlistitems_remove(items, 0, -3);
  EXPECT_EQ(tlistitems_get_count(items), 2);
  EXPECT_EQ(tlistitems_get_total_height(items), 35);

  tlistitems_clear(items);
  EXPECT_EQ(tlistitems_get_count(items), 0);
  EXPECT_EQ(tlistitems_get_total_height(items), 0);
  tlistitems_free(items);
}

TEST(ListItems, RowsPastTheFirstArrayKeepTheirOrderDataAndTops) {
  tlistitems *items = tlistitems_new();
  std::vector<tlistitem *> added;
  for (intptr_t i = 0; i < 130; i++) {
    std::u16string text = u"row/" + std::u16string(1, char16_t(u'0' + i % 10));
    added.push_back(tlistitems_add(items, text.c_str(), 2, reinterpret_cast<void *>(i)));
  }
  for (int32_t i = 0; i < 130; i++) {
    ASSERT_EQ(tlistitems_get(items, i), added[size_t(i)]) << i;
    EXPECT_EQ(tlistitems_get_user_data(items, i), reinterpret_cast<void *>(intptr_t(i)));
    EXPECT_EQ(tlistitems_get_field_number(items, i, 1), i % 10);
    EXPECT_EQ(tlistitems_get_top(items, i), 2 * i);
  }
  tlistitems_free(items);
}

TEST(ListItems, BadIndicesAnswerNothing) {
  tlistitems *items = tlistitems_new();
  tlistitems_add(items, u"a/1", 5, nullptr);
  trect r = {1, 2, 3, 4};
  for (int32_t bad : {-1, 1}) {
    EXPECT_EQ(tlistitems_get(items, bad), nullptr);
    EXPECT_EQ(tlistitems_get_field(items, bad, 0), nullptr);
    EXPECT_EQ(tlistitems_get_field_number(items, bad, 1), -1);
    EXPECT_EQ(tlistitems_get_top(items, bad), 0);
    EXPECT_EQ(tlistitems_set_top(items, bad, 9), 0);
    EXPECT_EQ(tlistitems_set_rect(items, bad, &r), 0);
    EXPECT_EQ(tlistitems_get_rect(items, bad), nullptr);
  }
  EXPECT_EQ(tlistitems_set_rect(items, 0, &r), 1);
  EXPECT_TRUE(trect_is_equal(tlistitems_get_rect(items, 0), &r));
  tlistitems_free(items);
}

TEST(ListColumn, CutsTheTitleAndDrawsSecondAndSelectedRowsWhite) {
  run_on_styled_screen([](tscreen *) {
    std::u16string long_title(40, u'x');
    tlistcolumn *column = tlistcolumn_new(TLISTCOLUMN_TEXT, long_title.c_str(), -1);
    ASSERT_NE(column, nullptr);
    EXPECT_EQ(std::u16string(column->_title), long_title.substr(0, 31));
    tcolor normal, second, selected;
    ttdrawer_get_color(tlistcolumn_get_text_drawer(column), &normal);
    ttdrawer_get_color(tlistcolumn_get_second_text_drawer(column), &second);
    ttdrawer_get_color(tlistcolumn_get_selected_text_drawer(column), &selected);
    EXPECT_EQ(tcolor_to_word(&normal), 0xFF000000u);
    EXPECT_EQ(tcolor_to_word(&second), 0xFFFFFFFFu);
    EXPECT_EQ(tcolor_to_word(&selected), 0xFFFFFFFFu);
    // The column's drawers are its own: changing one leaves the style set's.
    ttdrawer_set_font_size(tlistcolumn_get_text_drawer(column), 31);
    EXPECT_NE(ttdrawer_get_font_size(tstyler_get_default_tdrawer()), 31);
    tlistcolumn_free(column);
  });
}
