// List box: wrapping keys and a selection a clear left behind, taps that
// select and activate, drags, snap back and flicks on the test clock, the
// columns beside the bar, rows of varied heights, refused timers, a callback
// that frees the list, and scrolls that move the drawn rows.
#include "tlistbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "gui_fixture.h"
#include "screen_fixture.h"
#include "widget_fixture.h"
#include "wins_timer.h"

namespace {

constexpr uint32_t KEY_UP = 0xF809, KEY_DOWN = 0xF80A, KEY_ACTION = 0xF823;
constexpr uint32_t BLUE_565 = 0x001F, WHITE_565 = 0xFFFF;
constexpr int32_t LEFT = 10, TOP = 10;  // the list's place on the screen

using log_t = std::vector<std::pair<char, int32_t>>;

// A 100 x 100 list at (10, 10) with one text column and `rows` rows of
// `height` pixels, on screen; the callbacks log ('s' or 'a', row).
struct scene {
  tlistbox *list = nullptr;
  log_t log;
  bool free_on_select = false;
  explicit scene(int rows, int32_t height = 20, bool smooth = false) {
    trect rect = {LEFT, TOP, LEFT + 99, TOP + 99};
    list = tlistbox_new(nullptr, &rect, this);
    tlistbox_add_column(list, TLISTCOLUMN_TEXT, u"text", -1);
    add(rows, height);
    tlistbox_set_smooth_scroll(list, smooth);
    tlistbox_set_on_select(list, [](tlistbox *l, int32_t row) { of(l)->logged('s', row); });
    tlistbox_set_on_activate(list, [](tlistbox *l, int32_t row) { of(l)->logged('a', row); });
    tcontrol_realize(&list->_control);
  }
  ~scene() {
    if (list) tlistbox_free(list);
  }
  static scene *of(tlistbox *l) { return static_cast<scene *>(tsurface_get_owner(&l->_control._surface)); }
  void logged(char what, int32_t row) {
    log.push_back({what, row});
    if (free_on_select && what == 's') {
      tlistbox_free(list);
      list = nullptr;
    }
  }
  void add(int rows, int32_t height) {
    for (int i = 0; i < rows; i++) tlistbox_add_item(list, test_row(i).c_str(), height, nullptr);
  }
  static std::u16string test_row(int i) {
    std::u16string text = u"Row ";
    for (char c : std::to_string(i)) text += char16_t(c);
    return text;
  }
  // Where row 0 is (or would be) drawn: minus the offset.
  int32_t row0_top() const { return -list->_offset; }
  bool animating() const { return list->_timer != 0; }
};

// The screen y of the middle of row `row` at offset 0.
int32_t row_y(int32_t row, int32_t height = 20) { return TOP + row * height + height / 2; }

// A press moved a pixel at a time by dy, then released unless `held`.
void drag(int32_t x, int32_t y, int32_t dy, uint32_t ms_per_move = 0, bool held = false) {
  widget_pen(TSCREEN_PEN_DOWN, x, y);
  for (int32_t i = 1; i <= std::abs(dy); i++) {
    if (ms_per_move) widget_run_for(ms_per_move);
    widget_pen(TSCREEN_PEN_MOVE, x, y + (dy < 0 ? -i : i));
  }
  if (!held) widget_pen(TSCREEN_PEN_UP, x, y + dy);
}

}  // namespace

TEST(ListBox, KeysWrapAtTheEndsAndAnEmptyListTakesNone) {
  run_widget_test_240x320([](tscreen *) {
    scene s(4);
    EXPECT_EQ(widget_key(KEY_UP), 1);
    EXPECT_EQ(tlistbox_get_selected(s.list), 3);
    EXPECT_EQ(widget_key(KEY_DOWN), 1);
    EXPECT_EQ(tlistbox_get_selected(s.list), 0);
    EXPECT_EQ(widget_key(KEY_ACTION), 1);
    EXPECT_EQ(widget_key('x'), 0);
    EXPECT_EQ(s.log, (log_t{{'s', 3}, {'s', 0}, {'a', 0}}));

    scene empty(0);
    tsurface_set_visible(&s.list->_control._surface, 0);
    s.log.clear();
    EXPECT_EQ(widget_key(KEY_DOWN), 0);
    EXPECT_EQ(widget_key(KEY_ACTION), 0);
    EXPECT_EQ(widget_pen(TSCREEN_PEN_DOWN, 50, row_y(0)), 1);  // a press is taken, nothing changes
    EXPECT_EQ(widget_pen(TSCREEN_PEN_UP, 50, row_y(0)), 0);
    EXPECT_TRUE(empty.log.empty());
  });
}

TEST(ListBox, ASelectionAClearLeftPastTheRowsWrapsAndReachesNoCallback) {
  run_widget_test_240x320([](tscreen *) {
    const struct {
      uint32_t key;
      int32_t selected;
      log_t log;
    } cases[] = {
        {KEY_UP, 2, {{'s', 2}}},
        {KEY_DOWN, 0, {{'s', 0}}},
        {KEY_ACTION, 5, {}},
    };
    for (const auto &c : cases) {
      SCOPED_TRACE(c.key);
      scene s(6);
      tlistbox_set_selected(s.list, 5);
      tlistbox_clear(s.list);
      EXPECT_EQ(tlistbox_get_selected(s.list), 5);  // a clear keeps it
      s.add(3, 20);
      EXPECT_EQ(widget_key(c.key), 1);
      EXPECT_EQ(tlistbox_get_selected(s.list), c.selected);
      EXPECT_EQ(s.log, c.log);
    }
  });
}

TEST(ListBox, TapsSelectThenActivateOrActivateAtOnce) {
  run_widget_test_240x320([](tscreen *) {
    {
      scene s(3);
      widget_tap(50, row_y(1));
      EXPECT_EQ(s.log, (log_t{{'s', 1}}));  // a new row is only selected
      widget_tap(50, row_y(1));
      EXPECT_EQ(s.log, (log_t{{'s', 1}, {'s', 1}, {'a', 1}}));
    }
    {
      scene s(3);
      tlistbox_set_single_tap(s.list, 1);
      widget_tap(50, row_y(2));
      EXPECT_EQ(s.log, (log_t{{'s', 2}, {'a', 2}}));
    }
    {
      // A press that travels one row height before its release is a drag.
      scene s(10);
      drag(50, row_y(0), 20);
      EXPECT_EQ(s.log, (log_t{{'s', 0}}));
      // Nineteen pixels is still a tap.
      drag(50, row_y(0), 19);
      EXPECT_EQ(s.log, (log_t{{'s', 0}, {'s', 0}, {'a', 0}}));
    }
    {
      // The selection callback frees the list: nothing is touched after it.
      scene s(3);
      s.free_on_select = true;
      widget_tap(50, row_y(0));
      EXPECT_EQ(s.list, nullptr);
      EXPECT_EQ(s.log, (log_t{{'s', 0}}));
    }
  });
}

TEST(ListBox, DragsSnapBackAndFlicksStopOnTheirTarget) {
  run_widget_test_240x320([](tscreen *) {
    for (bool smooth : {false, true}) {
      SCOPED_TRACE(smooth);
      // Pulled 30 pixels past the top: back at 0 on release.
      scene s(10, 20, smooth);
      drag(50, row_y(1), 30, 0, true);
      EXPECT_EQ(s.row0_top(), 30);
      widget_pen(TSCREEN_PEN_UP, 50, row_y(1) + 30);
      widget_run_for(200);
      EXPECT_EQ(s.row0_top(), 0);
      EXPECT_FALSE(s.animating());
      // Past the bottom end (200 - 100): back at 100.
      drag(50, row_y(4), -130);
      widget_run_for(200);
      EXPECT_EQ(s.row0_top(), -100);
    }
    {
      // 20 pixels over 100 ms is 80 pixels a second: no flick.
      scene s(10, 20, true);
      drag(50, row_y(4), -20, 5);
      EXPECT_FALSE(s.animating());
      EXPECT_EQ(s.row0_top(), -20);
    }
    {
      // The last move was 20 pixels in 10 ms: v = 800, aimed past the end,
      // so the flick slows down onto the end exactly.
      scene s(10, 20, true);
      widget_flick(50, row_y(4), -20);
      EXPECT_TRUE(s.animating());
      std::vector<int32_t> tops;
      for (int i = 0; i < 30 && s.animating(); i++) {
        widget_run_for(10);
        tops.push_back(-s.row0_top());
      }
      EXPECT_FALSE(s.animating());
      EXPECT_EQ(tops.back(), 100);
      for (size_t i = 1; i < tops.size(); i++) EXPECT_GT(tops[i], tops[i - 1]) << "never back, never still";
      // A flick under way when the list grows to 180 (the end is then 20)
      // does not carry the rows past the last one.
      s.list->_offset = 0;
      tlistbox_set_selected(s.list, 0);
      widget_flick(50, row_y(4), -20);
      ASSERT_TRUE(s.animating());
      tcontrol_set_size(&s.list->_control, 100, 180);
      widget_run_for(500);
      EXPECT_GE(s.row0_top(), -20);
    }
  });
}

TEST(ListBox, AnimatedScrollsArriveAndRefusedTimersJump) {
  run_widget_test_240x320([](tscreen *) {
    {
      // Down to row 5 in a list of 20-pixel rows: an animated scroll of 20
      // pixels; a divisor of 100 rounds the share to 0, one pixel a tick.
      scene s(10, 20, true);
      tlistbox_set_scroll_steps(s.list, 100);
      for (int i = 0; i < 5; i++) widget_key(KEY_DOWN);
      widget_run_for(500);
      EXPECT_EQ(s.row0_top(), -20);
      widget_key(KEY_DOWN);
      widget_run_for(10);
      EXPECT_EQ(s.row0_top(), -21);
      widget_run_for(500);
      EXPECT_EQ(s.row0_top(), -40);
      EXPECT_FALSE(s.animating());
      // Back up to row 0: the pixel a tick goes up, not away.
      tlistbox_set_selected(s.list, 1);
      widget_key(KEY_UP);
      widget_run_for(10);
      EXPECT_EQ(s.row0_top(), -39);
      widget_run_for(1000);
      EXPECT_EQ(s.row0_top(), 0);
    }
    {
      // Every timer taken: the key scroll, the snap back and the flick go
      // to their targets at once.
      scene s(10, 20, true);
      widget_take_all_timers();
      for (int i = 0; i < 5; i++) widget_key(KEY_DOWN);
      EXPECT_EQ(s.row0_top(), -20);
      drag(50, row_y(2), 40);
      EXPECT_EQ(s.row0_top(), 0);
      widget_flick(50, row_y(4), -20);
      EXPECT_EQ(s.row0_top(), -100);
      EXPECT_FALSE(s.animating());
    }
    {
      // Rows of height 0: a fast drag starts no timer that could never end.
      scene s(10, 20, true);
      s.add(1, 0);
      widget_flick(50, row_y(4), -20);
      EXPECT_FALSE(s.animating());
    }
  });
}

TEST(ListBox, TheHighlightStaysWhileAKeyScrollsTheRowsUnderIt) {
  run_widget_test_240x320([](tscreen *screen) {
    scene s(10, 20, true);
    for (int i = 0; i < 4; i++) widget_soft_key(KEY_DOWN);  // row 4 ends on the bottom edge: no scroll
    EXPECT_EQ(s.row0_top(), 0);
    widget_key(KEY_DOWN);  // row 5: the rows move up 20 pixels, 5 a tick
    widget_run_for(10);
    EXPECT_EQ(s.row0_top(), -5);
    // Held where row 4 was drawn (80-99), not on row 5 (95 on).
    EXPECT_EQ(screen_pixel(screen, LEFT + 1, TOP + 82), BLUE_565);
    widget_run_for(100);
    EXPECT_EQ(s.row0_top(), -20);
    EXPECT_EQ(screen_pixel(screen, LEFT + 1, TOP + 82), BLUE_565);  // row 5 arrived there
    EXPECT_EQ(screen_pixel(screen, LEFT + 1, TOP + 78), WHITE_565);
  });
}

TEST(ListBox, ColumnsTakeTheFullWidthWhileTheBarIsHidden) {
  run_widget_test_240x320([](tscreen *) {
    // 100 pixels of rows: no bar; 120: the bar (5) and its gap (3) come off.
    for (const auto &c : {std::array<int32_t, 3>{5, 80, 80}, {6, 100 - 8 - 20, 72}}) {
      SCOPED_TRACE(c[0]);
      scene s(c[0]);
      tlistcolumn *icon = tlistbox_add_column(s.list, TLISTCOLUMN_IMAGE, u"icon", 20);
      tlistbox_set_column_from_right(s.list, 1, 1);
      EXPECT_EQ(tlistcolumn_get_width(tlistbox_get_column(s.list, 0)), c[1]);
      EXPECT_EQ(tlistcolumn_get_x(icon), c[2]);
      EXPECT_EQ(tsurface_is_visible(&tlistbox_get_scrollbar(s.list)->_control._surface), c[0] > 5);
    }
    scene s(1);
    for (int i = 1; i < TLISTBOX_MAX_COLUMNS; i++) EXPECT_NE(tlistbox_add_column(s.list, 1, u"c", 5), nullptr);
    EXPECT_EQ(tlistbox_add_column(s.list, 1, u"eleventh", 5), nullptr);
  });
}

TEST(ListBox, RowsOfVariedHeightsAreDrawnAtTheEnd) {
  run_widget_test_240x320([](tscreen *screen) {
    // Five rows of 50 then one of 10: the row height (10) is no guide to
    // where the offset (160, the end) falls.
    scene s(5, 50);
    s.add(1, 10);
    widget_key(KEY_UP);  // wraps to the last row
    EXPECT_EQ(tlistbox_get_selected(s.list), 5);
    EXPECT_EQ(tlistbox_get_item_rect(s.list, 5)->y1, 90);  // on the bottom edge, not past it
    EXPECT_EQ(screen_pixel(screen, LEFT + 1, TOP + 95), BLUE_565);
    EXPECT_EQ(tlistbox_get_item_rect(s.list, 3)->y1, -10);
    // A tap on row 3, whose top is scrolled out, selects it.
    widget_tap(50, TOP + 2);
    EXPECT_EQ(tlistbox_get_selected(s.list), 3);
    EXPECT_EQ(screen_pixel(screen, LEFT + 1, TOP + 95), WHITE_565);
    EXPECT_EQ(screen_pixel(screen, LEFT + 1, TOP + 2), BLUE_565);
    EXPECT_EQ(s.row0_top(), -160);
  });
}

namespace {

int g_rows_drawn;
bool g_separators;

// Counts the rows a paint draws; with separators on, every third row gets a
// line two pixels above it, as a menu's separators reach into the row above.
void count_row(tlistbox *, tcanvas *canvas, const trect *r, int32_t row, int *) {
  g_rows_drawn++;
  if (g_separators && row % 3 == 0) tcanvas_draw_line_color(canvas, r->x1, r->y1 - 2, r->x2, r->y1 - 2, 0xFF000000u);
}

std::string buffer_of(tlistbox *list) {
  const tbitmap *b = tcanvas_get_bitmap(tsurface_get_canvas(&list->_control._surface));
  return std::string(reinterpret_cast<const char *>(b->_pixels), size_t(b->_stride) * size_t(tbitmap_get_height(b)));
}

// The buffer the scroll left is the one a whole repaint draws; the scrolled
// one is put back, so the next step moves what the last one left.
void expect_drawn_whole(tlistbox *list, int step) {
  std::string moved = buffer_of(list);
  list->_drawn_valid = 0;
  tsurface_paint(&list->_control._surface);
  std::string whole = buffer_of(list);
  size_t at = std::mismatch(moved.begin(), moved.end(), whole.begin()).first - moved.begin();
  EXPECT_EQ(at, moved.size()) << "step " << step << ", offset " << list->_offset;
  tbitmap *b = tcanvas_get_bitmap(tsurface_get_canvas(&list->_control._surface));
  std::memcpy(b->_pixels, moved.data(), moved.size());
}

}  // namespace

TEST(ListBox, ScrollingMovesTheDrawnRowsAndDrawsWhatAWholeRepaintDraws) {
  run_widget_test_240x320([](tscreen *) {
    const struct {
      const char *name;
      int32_t margin, steps;
      bool separators, varied;
      int keys;  // down keys before the one that scrolls: up from row 0, or down from the last, wraps
      bool drag;
      bool moves;  // false: every step is drawn whole
    } cases[] = {
        {"a pixel a tick to the far end", 2, 1 << 20, false, false, 0, false, true},
        {"a highlight held in place, five pixels a tick", 2, 4, false, false, 5, false, false},
        {"separators reaching into the row above", 3, 1 << 20, true, false, 0, false, true},
        {"back up over separators", 3, 1 << 20, true, false, 39, false, true},
        {"rows of varied heights", 1, 1 << 20, false, true, 0, false, true},
        {"a drag past the top and the snap back", 2, 4, true, false, 0, true, true},
        {"a border inside the client area", 0, 4, false, false, 0, false, false},
    };
    for (const auto &c : cases) {
      SCOPED_TRACE(c.name);
      g_separators = c.separators;
      scene s(0, 20, true);
      for (int i = 0; i < 40; i++)
        tlistbox_add_item(s.list, scene::test_row(i).c_str(), c.varied ? 10 + i % 3 * 15 : 20, nullptr);
      tlistbox_set_margins(s.list, c.margin, c.margin, c.margin, c.margin);
      tlistbox_set_scroll_steps(s.list, c.steps);
      tlistbox_set_paint_hooks(s.list, nullptr, count_row, nullptr, nullptr);
      tsurface_update(&s.list->_control._surface, nullptr);
      for (int i = 0; i < c.keys; i++) widget_key(KEY_DOWN);
      widget_run_for(2000);
      int steps_drawing_less = 0, step = 0;
      auto check = [&] {
        int drawn = g_rows_drawn;
        g_rows_drawn = 0;
        expect_drawn_whole(s.list, step++);
        if (drawn < g_rows_drawn) steps_drawing_less++;
        g_rows_drawn = 0;
      };
      g_rows_drawn = 0;
      if (c.drag) {
        widget_pen(TSCREEN_PEN_DOWN, 50, row_y(1));
        for (int32_t dy : {-7, -7, -7, 7, 7, 7, 7, 7, 7, 9}) {
          widget_run_for(10);
          widget_pen(TSCREEN_PEN_MOVE, 50, s.list->_last_y + TOP + dy);
          check();
        }
        widget_pen(TSCREEN_PEN_UP, 50, s.list->_last_y + TOP);
      } else {
        widget_key(c.keys == 0 ? KEY_UP : KEY_DOWN);
        g_rows_drawn = 0;
      }
      EXPECT_TRUE(s.animating());
      for (int i = 0; i < 3000 && s.animating(); i++) {
        widget_run_for(10);
        check();
      }
      EXPECT_FALSE(s.animating());
      // A tick draws the rows that come into view, not the whole list.
      if (c.moves)
        EXPECT_GT(steps_drawing_less, step / 2);
      else
        EXPECT_EQ(steps_drawing_less, 0);
    }
    g_separators = false;
  });
}

TEST(ListBox, ABarDragStopsAtTheLastRowAndAClearStartsAtTheTop) {
  run_widget_test_240x320([](tscreen *) {
    scene s(10);
    drag(LEFT + 97, TOP + 10, 80);  // the bar reaches its maximum, 200
    EXPECT_EQ(s.row0_top(), -100);
    tlistbox_clear(s.list);
    s.add(10, 20);
    EXPECT_EQ(s.row0_top(), 0);
  });
}
