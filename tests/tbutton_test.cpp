// Buttons driven through the screen: pen roads and the clicks they make, key
// presses with their 100 ms pressed look, a refused timer, callbacks that free
// the button, the frame of each state and the parts' layout.
#include "tbutton.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "os_message.h"
#include "screen_fixture.h"
#include "widget_fixture.h"
#include "wins_timer.h"

namespace {

constexpr uint32_t rgb565(int r, int g, int b) { return uint32_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)); }
constexpr uint32_t k_grey = rgb565(128, 128, 128), k_black = 0;
const trect k_rect = {10, 10, 109, 49};

std::vector<std::string> g_log;
void log_click(tbutton *, intptr_t data) { g_log.push_back("click " + std::to_string(data)); }
void log_press(tbutton *) { g_log.push_back("press"); }
void log_release(tbutton *) { g_log.push_back("release"); }
void free_on_click(tbutton *button, intptr_t) {
  g_log.push_back("freed");
  tbutton_free(button);
}
void free_on_release(tbutton *button) {
  g_log.push_back("freed");
  tbutton_free(button);
}

// A shown top-level button that logs its callbacks.
tbutton *shown_button(intptr_t data = 7) {
  g_log.clear();
  tbutton *button = tbutton_new(nullptr, &k_rect, u"OK", data, nullptr);
  EXPECT_NE(button, nullptr);
  tbutton_set_on_click(button, log_click);
  tbutton_set_on_press(button, log_press);
  tbutton_set_on_release(button, log_release);
  tcontrol_realize(&button->_control);
  tscreen_paint(tscreen_get(), nullptr);
  return button;
}

// The top-left corner: grey on a raised frame, black on a sunken one.
uint32_t corner() { return screen_pixel(tscreen_get(), k_rect.x1, k_rect.y1); }

using lines = std::vector<std::string>;

}  // namespace

TEST(Button, PenRoadsClickOnlyWhenReleasedInside) {
  struct road {
    const char *name;
    std::vector<std::vector<int>> events;  // type, x, y
    bool disabled;
    lines log;
  };
  const road roads[] = {
      {"down-out-up", {{1, 20, 20}, {3, 200, 20}, {2, 200, 20}}, false, {"press", "release"}},
      {"down-out-in-up",
       {{1, 20, 20}, {3, 200, 20}, {3, 30, 30}, {2, 30, 30}},
       false,
       {"press", "release", "press", "release", "click 7"}},
      // The right and bottom edges are outside.
      {"down on the right edge", {{1, 109, 20}, {2, 109, 20}}, false, {}},
      {"down-up on the last inside pixel", {{1, 108, 48}, {2, 108, 48}}, false, {"press", "release", "click 7"}},
      {"disabled", {{1, 20, 20}, {2, 20, 20}}, true, {}},
  };
  for (const road &r : roads) {
    SCOPED_TRACE(r.name);
    run_widget_test_240x320([&](tscreen *screen) {
      tbutton *button = shown_button();
      tcontrol_set_enabled(&button->_control, !r.disabled);
      for (const std::vector<int> &e : r.events) widget_pen(e[0], e[1], e[2]);
      EXPECT_EQ(g_log, r.log);
      EXPECT_EQ(tscreen_get_pen_capture(screen), nullptr);
      EXPECT_EQ(tbutton_is_pressed(button), 0);
      tbutton_free(button);
    });
  }
}

TEST(Button, KeyPressShowsThePressedLookFor100MsThenClicks) {
  run_widget_test_240x320([](tscreen *) {
    tbutton *button = shown_button();
    tbutton_set_key(button, 0xF821);
    EXPECT_EQ(corner(), k_grey);
    EXPECT_EQ(widget_key(0xF821), 1);
    EXPECT_EQ(corner(), k_black);
    widget_run_for(90);
    EXPECT_EQ(g_log, lines{});
    widget_run_for(10);
    EXPECT_EQ(g_log, lines{"click 7"});
    EXPECT_EQ(corner(), k_grey);
    // Twice within 100 ms: the first press clicks as the second starts.
    g_log.clear();
    widget_key(0xF821);
    widget_run_for(50);
    widget_key(0xF821);
    EXPECT_EQ(g_log, lines{"click 7"});
    widget_run_for(100);
    EXPECT_EQ(g_log, (lines{"click 7", "click 7"}));
    // The action key only on a focused button, and twice is one click.
    g_log.clear();
    EXPECT_EQ(widget_key(TBUTTON_ACTION_KEY), 0);
    tcontrol_set_focus(&button->_control, 1);
    widget_key(TBUTTON_ACTION_KEY);
    widget_run_for(50);
    widget_key(TBUTTON_ACTION_KEY);
    widget_run_for(200);
    EXPECT_EQ(g_log, lines{"click 7"});
    // Disabled, it still answers its keys; invisible, it does not.
    g_log.clear();
    tcontrol_set_enabled(&button->_control, 0);
    widget_soft_key(0xF821);
    tsurface_set_visible(&button->_control._surface, 0);
    EXPECT_EQ(widget_key(0xF821), 0);
    widget_run_for(100);
    EXPECT_EQ(g_log, lines{"click 7"});
    tbutton_free(button);
  });
}

TEST(Button, ARefusedTimerClicksAtOnce) {
  run_widget_test_240x320([](tscreen *) {
    widget_take_all_timers();
    tbutton *button = shown_button();
    tbutton_set_key(button, 0xF821);
    widget_key(0xF821);
    EXPECT_EQ(g_log, lines{"click 7"});
    EXPECT_EQ(corner(), k_grey);
    tbutton_free(button);
  });
}

// Each road ends in a callback that frees the button; ASan sees any later touch.
TEST(Button, CallbacksMayFreeTheButton) {
  enum { PEN_CLICK, PEN_RELEASE, KEY_TIMER, KEY_AGAIN };
  for (int road : {PEN_CLICK, PEN_RELEASE, KEY_TIMER, KEY_AGAIN}) {
    SCOPED_TRACE(road);
    run_widget_test_240x320([&](tscreen *screen) {
      tbutton *button = shown_button();
      tbutton_set_key(button, 0xF821);
      if (road == PEN_RELEASE) {
        tbutton_set_on_release(button, free_on_release);
      } else {
        tbutton_set_on_click(button, free_on_click);
      }
      if (road == PEN_CLICK || road == PEN_RELEASE) {
        widget_tap(20, 20);
      } else {  // KEY_TIMER, KEY_AGAIN
        widget_key(0xF821);
        if (road == KEY_AGAIN) {
          EXPECT_EQ(widget_key(0xF821), 1);
        }
        widget_run_for(200);
      }
      EXPECT_EQ(g_log.back(), "freed");
      EXPECT_EQ(tscreen_get_pen_capture(screen), nullptr);
      EXPECT_EQ(os_next_timer_in(), -1);
    });
  }
}

TEST(Button, EachStateDrawsItsOwnFrame) {
  struct row {
    const char *name;
    bool pressed, checked, focused, disabled;
    uint32_t fill;
  };
  const uint32_t normal = rgb565(255, 255, 255), focused = rgb565(0, 0, 255), disabled = rgb565(0, 255, 0),
                 pressed = rgb565(255, 0, 0);
  const row rows[] = {
      {"normal", false, false, false, false, normal},
      {"focused", false, false, true, false, focused},
      {"disabled", false, false, false, true, disabled},
      {"disabled and focused", false, false, true, true, disabled},
      {"pressed", true, false, true, false, pressed},
      {"checked", false, true, false, false, pressed},
      {"checked while disabled", false, true, false, true, pressed},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    run_widget_test_240x320([&](tscreen *screen) {
      tbutton *button = shown_button();
      tbutton_set_text(button, u"");
      tbdrawer_set_fill_color(tbutton_get_focused_box_drawer(button), tcolor_rgba(0, 0, 255));
      tbdrawer_set_fill_color(tbutton_get_disabled_box_drawer(button), tcolor_rgba(0, 255, 0));
      tbdrawer_set_fill_color(tbutton_get_pressed_box_drawer(button), tcolor_rgba(255, 0, 0));
      tcontrol_set_focus(&button->_control, r.focused);
      tcontrol_set_enabled(&button->_control, !r.disabled);
      tbutton_set_checked(button, r.checked);
      if (r.pressed) widget_pen(TSCREEN_PEN_DOWN, 20, 20);
      tsurface_update(&button->_control._surface, nullptr);
      EXPECT_EQ(screen_pixel(screen, 50, 30), r.fill);
      // A state frame without a routine falls back to the normal frame.
      for (tbdrawer *frame : {tbutton_get_focused_box_drawer(button), tbutton_get_disabled_box_drawer(button),
                              tbutton_get_pressed_box_drawer(button)})
        tbdrawer_set_draw_func(frame, nullptr);
      tsurface_update(&button->_control._surface, nullptr);
      EXPECT_EQ(screen_pixel(screen, 50, 30), normal);
      tbutton_free(button);
    });
  }
}

TEST(Button, ImagePositionsSplitTheButton) {
  struct row {
    int32_t mode, percent;
    trect image, text;
  };
  // 100 x 41: odd height and even width.
  const row rows[] = {
      {1, 0, {0, 0, 99, 20}, {0, 21, 99, 40}},   {2, 0, {0, 20, 99, 40}, {0, 0, 99, 19}},
      {3, 0, {0, 0, 49, 40}, {50, 0, 99, 40}},   {4, 0, {50, 0, 99, 40}, {0, 0, 49, 40}},
      {5, 30, {0, 0, 99, 11}, {0, 12, 99, 40}},  {6, 30, {0, 0, 29, 40}, {30, 0, 99, 40}},
      {7, 30, {0, 12, 99, 40}, {0, 0, 99, 11}},  {8, 30, {30, 0, 99, 40}, {0, 0, 29, 40}},
      {5, 150, {0, 0, 99, 40}, {0, 41, 99, 40}}, {9, 50, {0, 0, 99, 40}, {0, 0, 99, 40}},
  };
  auto fields = [](const trect &r) { return std::vector<int32_t>{r.x1, r.y1, r.x2, r.y2}; };
  run_on_styled_screen(
      [&](tscreen *) {
        trect rect = {0, 0, 99, 40};
        tbutton *button = tbutton_new(nullptr, &rect, u"OK", 0, nullptr);
        for (const row &r : rows) {
          SCOPED_TRACE(r.mode);
          tbutton_set_image_position(button, r.mode, r.percent);
          EXPECT_EQ(fields(button->_image_rect), fields(r.image));
          EXPECT_EQ(fields(button->_text_rect), fields(r.text));
        }
        // A resize lays the parts out again: 30 percent of 40 rows is 12.
        tbutton_set_image_position(button, 5, 30);
        tcontrol_set_size(&button->_control, 100, 40);
        EXPECT_EQ(fields(button->_image_rect), fields(trect{0, 0, 99, 11}));
        EXPECT_EQ(fields(button->_text_rect), fields(trect{0, 12, 99, 39}));
        tbutton_free(button);
      },
      "240x320");
}

TEST(Button, ACaptionKeepsItsFirstThirtyOneCharacters) {
  run_widget_test_240x320([](tscreen *screen) {
    trect rect = {0, 0, 219, 29};
    tbutton *button = tbutton_new(nullptr, &rect, u"", 0, nullptr);
    tcontrol_realize(&button->_control);
    auto drawn = [&](const char16_t *text) {
      tbutton_set_text(button, text);
      tsurface_update(&button->_control._surface, nullptr);
      std::vector<uint32_t> pixels;
      for (int32_t y = 0; y < 30; y++)
        for (int32_t x = 0; x < 220; x++) pixels.push_back(screen_pixel(screen, x, y));
      return pixels;
    };
    std::vector<uint32_t> cut = drawn(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghij");
    EXPECT_EQ(cut, drawn(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcde"));
    EXPECT_NE(cut, drawn(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcd"));
    tbutton_free(button);
  });
}

TEST(Button, APressLeftToTheOwnerIsNotDrawnByTheButton) {
  for (bool left_to_owner : {false, true}) {
    SCOPED_TRACE(left_to_owner ? "left to the owner" : "drawn by the button");
    run_widget_test_240x320([&](tscreen *screen) {
      tbutton *button = shown_button();
      tbdrawer_set_fill_color(tbutton_get_pressed_box_drawer(button), tcolor_rgba(255, 0, 0));
      tbutton_set_no_redraw_on_press(button, left_to_owner);
      uint32_t before = screen_pixel(screen, 50, 30);
      widget_pen(TSCREEN_PEN_DOWN, 20, 20);
      EXPECT_EQ(g_log, lines({"press"}));
      EXPECT_EQ(screen_pixel(screen, 50, 30), left_to_owner ? before : rgb565(255, 0, 0));
      widget_pen(TSCREEN_PEN_UP, 20, 20);
      EXPECT_EQ(g_log, lines({"press", "release", "click 7"}));
      tbutton_free(button);
    });
  }
}
