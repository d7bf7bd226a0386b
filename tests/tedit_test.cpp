// Edits driven through the screen: the key table with its selection rules,
// digits-only input, taps between characters, scrolling that keeps the caret
// on the client edge, the caret blink on the test clock, text replaced under
// the caret, and freeing a focused field without painting.
//
// Fixed-advance metrics: a field 20 pixels high has a client 18 pixels high,
// a 12-point font 16 pixels high, and every character 8 pixels wide.
#include "tedit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "os_clock.h"
#include "os_display.h"
#include "port_test_app.h"
#include "screen_fixture.h"
#include "tstyler.h"
#include "widget_fixture.h"
#include "wins_graphics.h"

namespace {

constexpr int32_t LEFT = 0xF807, RIGHT = 0xF808, BACKSPACE = 8, DELETE = 127;
constexpr uint32_t SHIFT = 2;
constexpr trect FIELD = {10, 10, 69, 29};  // client x 3..56 inside it: 54 pixels

std::vector<uint32_t> g_untaken;
int32_t note_untaken(uint32_t code, uint32_t, uint32_t) {
  g_untaken.push_back(code);
  return 0;
}
int g_paints;
void count_paint(tscreen *, const trect *) { g_paints++; }

// A realised top-level field on the fixed metrics and the driven clock.
struct field {
  tedit *edit;
  explicit field(const char16_t *text, trect rect = FIELD) {
    edit = tedit_new(nullptr, &rect, text, -1, nullptr);
    EXPECT_NE(edit, nullptr);
    tcontrol_realize(&edit->_control);
    tscreen_paint(tscreen_get(), nullptr);
  }
  ~field() {
    if (edit) tedit_free(edit);
  }
  void focus_at(int32_t caret) {
    tcontrol_set_focus(&edit->_control, 1);
    tedit_set_caret(edit, caret);
    tedit_clear_selection(edit);
  }
  std::u16string text() const { return tedit_get_text(edit); }
};

int key(uint32_t code, uint32_t modifiers = 0) { return tscreen_dispatch_key(tscreen_get(), code, 1, modifiers); }
void type(const std::u16string &text) {
  for (char16_t c : text) key(c);
}
void pen(int type, int32_t x, int32_t y) {
  os_input_pen(type, x, y, 0);
  port_test_pump();
}

void with_field_screen(const std::function<void(tscreen *)> &body) {
  run_on_styled_screen(
      [&](tscreen *screen) {
        wins_graphics_set_fixed_metrics(1);
        os_clock_drive(1);
        g_untaken.clear();
        tscreen_set_key_hook(screen, note_untaken);
        body(screen);
        tscreen_set_key_hook(screen, nullptr);
        os_clock_drive(0);
        wins_graphics_set_fixed_metrics(0);
      },
      "200x100");
}

// The caret bar is black at half alpha over the white field.
bool caret_at(tscreen *screen, int32_t local_x) {
  uint32_t white = 0xFFFF, pixel = screen_pixel(screen, FIELD.x1 + local_x, FIELD.y1 + 2);
  return pixel != white && pixel != 0;
}

}  // namespace

TEST(Edit, KeysFollowTheTableAndMarkTheirSelection) {
  with_field_screen([](tscreen *) {
    // Each row: text, caret, keys (code, modifiers), what they answered, then
    // '|' typed to show where the caret or the selection ended.
    struct row {
      const char16_t *text;
      int32_t caret;
      std::vector<std::pair<uint32_t, uint32_t>> keys;
      std::vector<int> taken;
      const char16_t *after;
    } rows[] = {
        {u"abc", 0, {{BACKSPACE, 0}}, {1}, u"|abc"},
        {u"abc", 3, {{DELETE, 0}}, {1}, u"abc|"},
        {u"abc", 1, {{DELETE, 0}, {BACKSPACE, 0}}, {1, 1}, u"|c"},
        {u"abc", 3, {{BACKSPACE, 0}}, {1}, u"ab|"},
        {u"abcd", 3, {{LEFT, SHIFT}}, {1}, u"ab|d"},
        {u"abcd", 3, {{LEFT, SHIFT}, {LEFT, SHIFT}, {RIGHT, SHIFT}}, {1, 1, 1}, u"ab|d"},
        {u"abcd", 1, {{RIGHT, SHIFT}, {RIGHT, SHIFT}}, {1, 1}, u"a|d"},
        {u"abcd", 1, {{RIGHT, SHIFT}, {RIGHT, SHIFT}, {DELETE, 0}}, {1, 1, 1}, u"a|d"},
        {u"abcd", 3, {{LEFT, SHIFT}, {LEFT, SHIFT}, {BACKSPACE, 0}}, {1, 1, 1}, u"a|d"},
        {u"abcd", 3, {{LEFT, SHIFT}, {RIGHT, 0}}, {1, 1}, u"abc|d"},
        {u"abcd", 0, {{LEFT, 0}, {RIGHT, 0}, {RIGHT, 0}}, {1, 1, 1}, u"ab|cd"},
        {u"abcd", 4, {{RIGHT, 0}}, {1}, u"abcd|"},
        // Keys that are not the field's reach whoever is behind it.
        {u"ab",
         1,
         {{0xF809, 0}, {0xF80A, 0}, {0xF823, 0}, {0xF821, 0}, {0xF801, 0}, {13, 0}, {0x80, 0}, {0xFE, 0}},
         {0, 0, 0, 0, 0, 0, 0, 0},
         u"a|b"},
        {u"ab", 1, {{0xFF, 0}, {0x4E2D, 0}}, {1, 1}, u"a\u00FF\u4E2D|b"},
    };
    for (const row &r : rows) {
      SCOPED_TRACE(std::string(r.after, r.after + std::char_traits<char16_t>::length(r.after)));
      field f(r.text);
      f.focus_at(r.caret);
      std::vector<int> taken;
      for (auto [code, modifiers] : r.keys) taken.push_back(key(code, modifiers));
      EXPECT_EQ(taken, r.taken);
      EXPECT_EQ(key('|'), 1);
      EXPECT_EQ(f.text(), r.after);
    }
    EXPECT_EQ(g_untaken, (std::vector<uint32_t>{0xF809, 0xF80A, 0xF823, 0xF821, 0xF801, 13, 0x80, 0xFE}));

    // Without the focus, or disabled, the field takes nothing.
    field f(u"ab");
    EXPECT_EQ(key('x'), 0);
    f.focus_at(2);
    tcontrol_set_enabled(&f.edit->_control, 0);
    EXPECT_EQ(key('x'), 0);
    EXPECT_EQ(f.text(), u"ab");
  });
}

TEST(Edit, DigitsModeSwallowsOtherCharacters) {
  with_field_screen([](tscreen *) {
    field f(u"1");
    tedit_set_input_mode(f.edit, TEDIT_INPUT_DIGITS);
    f.focus_at(1);
    for (uint32_t code : {uint32_t('a'), uint32_t('7'), uint32_t(' '), uint32_t(BACKSPACE), uint32_t('0'), uint32_t('9')})
      EXPECT_EQ(key(code), 1);  // editing keys still work
    EXPECT_EQ(f.text(), u"109");
  });
}

TEST(Edit, ATapLandsBeforeTheCharacterWhoseRightEdgePassesIt) {
  with_field_screen([](tscreen *) {
    // Characters start at local x 3 and are 8 wide: 'b' covers 11..18, 'c' 19..26.
    struct tap {
      int32_t local_x;
      const char16_t *after;
    } taps[] = {{3, u"|abcd"}, {4, u"|abcd"}, {18, u"a|bcd"}, {19, u"ab|cd"}, {26, u"ab|cd"}, {56, u"abcd|"}};
    for (const tap &t : taps) {
      SCOPED_TRACE(t.local_x);
      field f(u"abcd");
      pen(OS_PEN_DOWN, FIELD.x1 + t.local_x, 20);
      pen(OS_PEN_UP, FIELD.x1 + t.local_x, 20);
      type(u"|");
      EXPECT_EQ(f.text(), t.after);
    }
    // A drag selects from the press to the pen; outside the client rect
    // nothing is taken unless the field holds the pen.
    field f(u"abcd");
    EXPECT_EQ(tscreen_dispatch_pen(tscreen_get(), 1, FIELD.x1 + 1, 20, 0), 0);
    pen(OS_PEN_DOWN, FIELD.x1 + 12, 20);
    pen(OS_PEN_MOVE, FIELD.x1 + 30, 20);
    pen(OS_PEN_MOVE, FIELD.x2 + 20, 20);
    pen(OS_PEN_UP, FIELD.x2 + 20, 20);
    type(u"|");
    EXPECT_EQ(f.text(), u"a|");
  });
}

TEST(Edit, TheCaretStaysInViewOnTheClientEdge) {
  with_field_screen([](tscreen *screen) {
    field f(u"");
    pen(OS_PEN_DOWN, FIELD.x1 + 10, 20);
    pen(OS_PEN_UP, FIELD.x1 + 10, 20);
    // Characters typed through the window system; spaces leave the caret alone
    // on the white.
    for (int i = 0; i < 20; i++) os_input_char(u' ');
    port_test_pump();
    EXPECT_EQ(f.text(), std::u16string(20, u' '));
    EXPECT_TRUE(caret_at(screen, 55) && caret_at(screen, 56));
    EXPECT_FALSE(caret_at(screen, 54));
    // Back to the start: the left edge shows five characters ahead of the caret.
    for (int i = 0; i < 7; i++) key(LEFT);
    EXPECT_TRUE(caret_at(screen, 3 + 5 * 8 - 1));
    for (int i = 0; i < 13; i++) key(LEFT);
    EXPECT_TRUE(caret_at(screen, 3));
    // And to the end again with the right key.
    for (int i = 0; i < 20; i++) key(RIGHT);
    EXPECT_TRUE(caret_at(screen, 55) && caret_at(screen, 56));
    // Shift held down through the window system selects.
    os_input_key(VK_SHIFT, 1, 0);
    os_input_key(VK_LEFT, 1, 0);
    os_input_key(VK_SHIFT, 0, 0);
    os_input_char(u'x');
    port_test_pump();
    EXPECT_EQ(f.text(), std::u16string(19, u' ') + u"x");
  });
}

TEST(Edit, TheCaretBlinksEvery500MsWhileFocused) {
  with_field_screen([](tscreen *screen) {
    field f(u"ab");
    f.focus_at(0);
    for (auto [ms, shown] : {std::pair{0u, true}, {490u, true}, {10u, false}, {500u, true}}) {
      widget_run_for(ms);
      EXPECT_EQ(caret_at(screen, 3), shown) << ms;
    }
    widget_run_for(500);
    key(RIGHT);  // a handled key shows it at once
    EXPECT_TRUE(caret_at(screen, 3 + 8 - 1));
    tcontrol_set_focus(&f.edit->_control, 0);
    EXPECT_FALSE(caret_at(screen, 3 + 8 - 1));
    widget_run_for(1000);
    EXPECT_FALSE(caret_at(screen, 3 + 8 - 1));
  });
}

TEST(Edit, NewTextClampsTheCaretAndFreeingPaintsNothing) {
  with_field_screen([](tscreen *screen) {
    field f(u"abcdefghijklmnop");
    f.focus_at(16);
    ASSERT_EQ(tedit_set_text(f.edit, u"xyzzy", 2), 1);
    type(u"|");
    EXPECT_EQ(f.text(), u"xy|");
    tedit_select_all(f.edit);
    tedit_delete_selection(f.edit);
    type(u"q");
    EXPECT_EQ(f.text(), u"q");

    // A field too low for any text keeps the size it was given.
    trect flat = {10, 40, 69, 41};
    field low(u"a", flat);
    EXPECT_EQ(ttdrawer_get_font_size(tedit_get_text_drawer(low.edit)),
              ttdrawer_get_font_size(tstyler_get_default_tdrawer()));

    tedit_set_ime(f.edit, 1);
    tcontrol_set_focus(&f.edit->_control, 0);
    tcontrol_set_focus(&f.edit->_control, 1);
    g_paints = 0;
    tscreen_set_paint_hook(screen, count_paint);
    tedit_free(f.edit);
    f.edit = nullptr;
    EXPECT_EQ(g_paints, 0);
    tscreen_set_paint_hook(screen, nullptr);
  });
}

// An underlined field takes a smaller font to leave the underline room.
TEST(Edit, AnUnderlinedFieldCutsItsFontAndAPenUpShowsTheInputPanel) {
  with_field_screen([](tscreen *screen) {
    for (auto [height, size] : {std::pair{20, 9}, {60, 31}, {100, 51}}) {
      field f(u"a", trect{0, 0, 59, height - 2});
      ttdrawer_set_font_style(tedit_get_text_drawer(f.edit), TCANVAS_FONT_UNDERLINE);
      tcontrol_set_size(&f.edit->_control, 60, height);
      EXPECT_EQ(ttdrawer_get_font_size(tedit_get_text_drawer(f.edit)), size) << height;
    }
    // The panel repaints the whole screen every 500 ms; the caret only itself.
    static int full_paints;
    full_paints = 0;
    field f(u"abc");
    tedit_set_ime(f.edit, 1);
    pen(OS_PEN_DOWN, 20, 20);
    pen(OS_PEN_UP, 20, 20);
    tscreen_set_paint_hook(
        screen, [](tscreen *s, const trect *r) { full_paints += r->x2 - r->x1 == s->_rect.x2 - s->_rect.x1; });
    widget_run_for(1000);
    tscreen_set_paint_hook(screen, nullptr);
    EXPECT_GE(full_paints, 1);
  });
}
