// Form: entry growth, key scrolling and arrow focus moves, pen drags with the
// slop, the snap back and the fling on the test clock, the bars, and the
// roads on which a child or the owner frees the form mid-event.
#include "tform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "os_clock.h"
#include "port_test_app.h"
#include "screen_fixture.h"
#include "widget_fixture.h"
#include "wins_timer.h"

namespace {

constexpr uint32_t KEY_LEFT = 0xF807, KEY_RIGHT = 0xF808, KEY_UP = 0xF809, KEY_DOWN = 0xF80A;

int always(tcontrol *) { return 1; }

// A top-level 100 x 100 form at (10, 10) on a 240 x 320 screen, realised,
// with plain children it frees itself; the clock stands still unless moved.
struct scene {
  tform *form;
  std::vector<tcontrol *> children;
  explicit scene(bool animated = false) {
    os_clock_drive(1);
    trect rect = {10, 10, 109, 109};
    form = tform_new(nullptr, &rect, nullptr);
    tform_set_animated_scroll(form, animated);
  }
  tcontrol *add(trect r, bool focusable = false) {
    tcontrol *c = tcontrol_new(nullptr, &r, nullptr);
    if (focusable) tcontrol_set_focusable_test(c, always);
    tform_add_child(form, int32_t(children.size()) + 1, c);
    children.push_back(c);
    return c;
  }
  void show() { tcontrol_realize(&form->_control); }
  ~scene() {
    if (form) tform_free(form);
    for (tcontrol *c : children) tcontrol_free(c);
    wins_timer_stop_all();
    os_clock_drive(0);
  }
  // Where child i sits, as (x1, y1).
  std::vector<int32_t> at(size_t i = 0) const {
    const trect *r = tsurface_get_rect(&children[i]->_surface);
    return {r->x1, r->y1};
  }
  void ticks(int n) { widget_run_for(uint32_t(n) * 10); }
};

int key(tscreen *screen, uint32_t code) { return tscreen_dispatch_key(screen, code, 0, 0); }
int pen(tscreen *screen, int type, int32_t x, int32_t y) { return tscreen_dispatch_pen(screen, type, x, y, 0); }

// Drags from (x, y) by (dx, dy) in one-pixel moves, without lifting the pen.
void drag(tscreen *screen, int32_t x, int32_t y, int32_t dx, int32_t dy) {
  pen(screen, 1, x, y);
  int32_t n = std::max(std::abs(dx), std::abs(dy));
  for (int32_t i = 1; i <= n; i++) pen(screen, 3, x + dx * i / n, y + dy * i / n);
}

}  // namespace

TEST(Form, ChildrenPastTheFirstEntriesAreKeptAndARemovalShiftsTheRest) {
  run_on_styled_screen([](tscreen *) {
    scene s;
    for (int i = 0; i < 33; i++) s.add({0, i * 10, 9, i * 10 + 9});
    EXPECT_EQ(tform_get_child_count(s.form), 33);
    EXPECT_EQ(tform_get_child_by_id(s.form, 17), s.children[16]);
    EXPECT_EQ(tform_get_child_at(s.form, 33), nullptr);
    EXPECT_EQ(tform_remove_child(s.form, s.children[3]), 1);
    EXPECT_EQ(tform_get_child_index(s.form, s.children[32]), 31);
    EXPECT_EQ(tform_get_child_index(s.form, s.children[3]), -1);
  }, "240x320");
}

// The content is the union of the children's home rects and (0, 0), plus
// the right and bottom margins, whatever order children come and go in.
TEST(Form, TheContentFollowsAddsRemovalsAndMargins) {
  run_on_styled_screen([](tscreen *) {
    scene s;
    auto content = [&s] {
      const trect *c = tform_get_content_rect(s.form);
      return std::vector<int32_t>{c->x1, c->y1, c->x2, c->y2};
    };
    tform_set_margins(s.form, 3, 4, 5, 6);
    for (int i = 0; i < 200; i++) s.add({10 + i % 4, 10 + i * 2, 40 + i % 4, 12 + i * 2});
    EXPECT_EQ(content(), (std::vector<int32_t>{0, 0, 43 + 5, 410 + 6}));
    tcontrol *wide = s.add({-20, 50, 300, 60});
    EXPECT_EQ(content(), (std::vector<int32_t>{-20, 0, 305, 416}));
    // Out of the middle: nothing moves.
    tform_remove_child(s.form, s.children[100]);
    EXPECT_EQ(content(), (std::vector<int32_t>{-20, 0, 305, 416}));
    // The child that held the extent out on two sides, then the lowest.
    tform_remove_child(s.form, wide);
    EXPECT_EQ(content(), (std::vector<int32_t>{0, 0, 48, 416}));
    tform_remove_child(s.form, s.children[199]);
    EXPECT_EQ(content(), (std::vector<int32_t>{0, 0, 48, 414}));
    // The lowest now, and on no other edge.
    tform_remove_child(s.form, s.children[198]);
    EXPECT_EQ(content(), (std::vector<int32_t>{0, 0, 48, 412}));
    tform_set_margins(s.form, 0, 0, 1, 1);
    EXPECT_EQ(content(), (std::vector<int32_t>{0, 0, 44, 407}));
    // Laid out twice and added to after: the margins counted once.
    s.show();
    tcontrol_layout(&s.form->_control, tsurface_get_rect(&s.form->_control._surface));
    s.add({0, 0, 5, 5});
    EXPECT_EQ(content(), (std::vector<int32_t>{0, 0, 44, 407}));
    // The bars follow a removal: the vertical one goes with the last tall child.
    EXPECT_TRUE(tsurface_is_visible(&tform_get_vscrollbar(s.form)->_control._surface));
    for (size_t i = 0; i < 198; i++) tform_remove_child(s.form, s.children[i]);
    EXPECT_EQ(content(), (std::vector<int32_t>{0, 0, 6, 6}));
    EXPECT_FALSE(tsurface_is_visible(&tform_get_vscrollbar(s.form)->_control._surface));
    tform_clear_children(s.form);
    EXPECT_EQ(content(), (std::vector<int32_t>{0, 0, 1, 1}));
  }, "240x320");
}

namespace {
uint64_t g_measured;
void count_measure(const tform *, const trect *) { g_measured++; }
}  // namespace

// Ten times the children cost about ten times the measuring, not a hundred:
// each one added is measured into the content once, and taking children out
// from the middle measures nothing again.
TEST(Form, MeasuringTheContentGrowsInProportionToTheChildren) {
  run_on_styled_screen([](tscreen *) {
    tform_measure_fn old = tform_set_measure_hook(count_measure);
    auto measured = [](int children) {
      scene s;
      g_measured = 0;
      for (int i = 0; i < children; i++) s.add({1, i * 3, i % 2 ? 20 : 30, i * 3 + 2});
      for (int i = 1; i < children - 1; i += 2) tform_remove_child(s.form, s.children[size_t(i)]);
      return g_measured;
    };
    uint64_t small = measured(2000), large = measured(20000);
    EXPECT_GE(small, 2000u);
    EXPECT_LE(large, 12 * small) << small << " measured for 2,000 children, " << large << " for 20,000";
    tform_set_measure_hook(old);
  }, "240x320");
}

TEST(Form, DownAndUpScrollByTheStepUpToTheEnds) {
  run_on_styled_screen([](tscreen *screen) {
    scene s;
    s.add({0, 0, 49, 149});  // 50 pixels taller than the view, not focusable
    s.show();
    std::vector<int32_t> seen;
    for (uint32_t code : {KEY_DOWN, KEY_DOWN, KEY_DOWN, KEY_DOWN, KEY_UP, KEY_UP, KEY_UP, KEY_UP}) {
      EXPECT_EQ(key(screen, code), 1);
      seen.push_back(s.at()[1]);
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{-20, -40, -50, -50, -30, -10, 0, 0}));
    EXPECT_EQ(key(screen, KEY_LEFT), 1);  // nothing wider than the view
    EXPECT_EQ(s.at(), (std::vector<int32_t>{0, 0}));
    EXPECT_EQ(key(screen, 'a'), 0);
  }, "240x320");
}

TEST(Form, AnimatedKeyScrollsMoveAQuarterATickAndArriveEvenOnePixelAway) {
  run_on_styled_screen([](tscreen *screen) {
    {
      scene s(true);
      s.add({0, 0, 49, 299});
      s.show();
      key(screen, KEY_DOWN);
      std::vector<int32_t> seen;
      for (int i = 0; i < 5; i++, s.ticks(1)) seen.push_back(s.at()[1]);
      EXPECT_EQ(seen, (std::vector<int32_t>{0, -5, -10, -15, -20}));  // not before the first tick
      // Every timer taken: the scroll jumps to its target.
      widget_take_all_timers();
      key(screen, KEY_DOWN);
      EXPECT_EQ(s.at()[1], -40);
      EXPECT_EQ(s.form->_timer, 0u);
    }
    scene s(true);
    s.add({0, 0, 49, 100});  // one pixel taller than the view
    s.show();
    for (auto [code, y] : {std::pair{KEY_DOWN, -1}, {KEY_UP, 0}}) {  // -1 pixel scrolls end too
      key(screen, code);
      s.ticks(1);
      EXPECT_EQ(s.at()[1], y);
      EXPECT_EQ(s.form->_timer, 0u);
    }
  }, "240x320");
}

TEST(Form, ArrowsMoveTheFocusToTheNearestChildAndFrameIt) {
  run_on_styled_screen([](tscreen *screen) {
    scene s;
    tcontrol *a = s.add({0, 0, 29, 19}, true);
    tcontrol *b = s.add({0, 30, 29, 49}, true);
    tcontrol *c = s.add({40, 30, 69, 49}, true);
    s.show();
    EXPECT_EQ(key(screen, KEY_DOWN), 1);  // nothing focused: the first child in view
    EXPECT_TRUE(tcontrol_has_focus(a));
    key(screen, KEY_DOWN);  // b and c lie as far below; b's centre is nearer
    EXPECT_TRUE(tcontrol_has_focus(b));
    EXPECT_FALSE(tcontrol_has_focus(a));
    key(screen, KEY_RIGHT);
    EXPECT_TRUE(tcontrol_has_focus(c));
    // The light blue frame lies 2 pixels outside c (form at 10, 10).
    tscreen_paint(screen, nullptr);
    const uint32_t light_blue = 0x841F;
    EXPECT_EQ(screen_pixel(screen, 10 + 38, 10 + 40), light_blue);
    EXPECT_NE(screen_pixel(screen, 10 - 2 + 0, 10 + 40), light_blue);
    key(screen, KEY_UP);
    EXPECT_TRUE(tcontrol_has_focus(a));
    EXPECT_EQ(tform_set_focus(s.form, s.children[1]), 1);
    EXPECT_TRUE(tcontrol_has_focus(b));
    tcontrol outsider;
    trect r = {0, 0, 9, 9};
    ASSERT_EQ(tcontrol_init(&outsider, nullptr, &r, nullptr), 1);
    tcontrol_set_focusable_test(&outsider, always);
    EXPECT_EQ(tform_set_focus(s.form, &outsider), 0);
    tcontrol_deinit(&outsider);
    EXPECT_EQ(tform_remove_child(s.form, a), 1);  // the focus stays on b
    key(screen, KEY_RIGHT);
    EXPECT_TRUE(tcontrol_has_focus(c));
  }, "240x320");
}

TEST(Form, AFocusedChildScrolledOutOfViewLosesTheFocus) {
  run_on_styled_screen([](tscreen *screen) {
    scene s;
    tcontrol *a = s.add({0, 0, 49, 19}, true);
    s.add({0, 30, 49, 299});  // not focusable
    s.show();
    tform_focus_first(s.form);
    EXPECT_TRUE(tcontrol_has_focus(a));
    key(screen, KEY_DOWN);  // scrolls 20: a leaves the view and nothing can take it
    EXPECT_EQ(s.at()[1], -20);
    EXPECT_FALSE(tcontrol_has_focus(a));
    key(screen, KEY_DOWN);  // no focus to move from
    EXPECT_EQ(s.at()[1], -40);
  }, "240x320");
}

TEST(Form, DragsScrollPastTheSlopOnlyAlongTheAxisMoved) {
  run_on_styled_screen([](tscreen *screen) {
    scene s;
    s.add({0, 0, 199, 199});
    s.show();
    drag(screen, 60, 60, 0, -3);
    pen(screen, 2, 60, 57);
    EXPECT_EQ(s.at(), (std::vector<int32_t>{0, 0}));
    // 12 pixels up: the first 5 moves lie within the slop, the other 7 scroll.
    drag(screen, 60, 60, 0, -12);
    EXPECT_EQ(s.at(), (std::vector<int32_t>{0, -7}));
    EXPECT_EQ(tform_get_drag_dy(s.form), -12);
    pen(screen, 2, 60, 48);
    EXPECT_EQ(s.at(), (std::vector<int32_t>{0, -7}));
    tform_set_vdrag_locked(s.form, 1);
    drag(screen, 60, 60, -12, -12);
    pen(screen, 2, 48, 48);
    EXPECT_EQ(s.at(), (std::vector<int32_t>{-7, -7}));
  }, "240x320");
}

TEST(Form, ReleasedPastTheTopItReturnsToZero) {
  for (bool animated : {false, true}) {
    SCOPED_TRACE(animated);
    run_on_styled_screen([animated](tscreen *screen) {
      scene s(animated);
      s.add({0, 0, 49, 299});
      s.show();
      drag(screen, 60, 20, 0, 35);  // 30 pixels past the top after the slop
      EXPECT_EQ(s.at()[1], 30);
      pen(screen, 2, 60, 55);
      s.ticks(animated ? 4 : 0);  // -8 a tick: 22, 14, 6, 0
      EXPECT_EQ(s.at()[1], 0);
      EXPECT_EQ(s.form->_timer, 0u);
    }, "240x320");
  }
}

TEST(Form, AFlingOfTenPixelsInTwentyMsGlidesTwentyATick) {
  run_on_styled_screen([](tscreen *screen) {
    scene s(true);
    s.add({0, 0, 49, 999});
    s.show();
    drag(screen, 60, 90, 0, -6);  // past the slop: 1 pixel scrolled
    pen(screen, 3, 60, 74);       // the last move: 10 pixels
    os_clock_advance(20);
    pen(screen, 2, 60, 74);  // v = 10 x 400 / 20 = 200
    EXPECT_EQ(s.at()[1], -11);
    s.ticks(1);
    EXPECT_EQ(s.at()[1], -31);
    s.ticks(3);  // under 72% of the way left: a pixel slower each tick
    EXPECT_EQ(s.at()[1], -90);
    s.ticks(100);
    EXPECT_EQ(s.at()[1], -211);  // the target: offset + v
    EXPECT_EQ(s.form->_timer, 0u);
  }, "240x320");
}

TEST(Form, TheVerticalBarShowsAndScrollsTheContent) {
  run_on_styled_screen([](tscreen *screen) {
    scene s;
    s.add({0, 0, 49, 199});
    s.show();
    tscrollbar *bar = tform_get_vscrollbar(s.form);
    ASSERT_TRUE(tsurface_is_visible(&bar->_control._surface));
    // The bar is 5 wide at the form's right edge: a tap low on it pages by the view.
    EXPECT_EQ(pen(screen, 1, 10 + 97, 10 + 90), 1);
    pen(screen, 2, 10 + 97, 10 + 90);
    EXPECT_EQ(s.at()[1], -100);
    EXPECT_EQ(tscrollbar_get_pos(bar), 100);
    pen(screen, 1, 10 + 97, 10 + 90);  // on the thumb: dragged on, the bar goes past the content's end
    pen(screen, 3, 10 + 97, 10 + 120);
    pen(screen, 2, 10 + 97, 10 + 120);
    EXPECT_EQ(s.at()[1], -100);
  }, "240x320");
}

TEST(Form, UpdateLockIsRestoredAsFound) {
  run_on_styled_screen([](tscreen *screen) {
    scene s;
    s.add({0, 0, 49, 299});
    s.show();
    for (uint32_t lock : {1u, 0u}) {
      tscreen_set_update_lock(screen, lock);
      key(screen, KEY_DOWN);
      EXPECT_EQ(tscreen_get_update_lock(screen), lock);
    }
  }, "240x320");
}

// A child whose tap closes what holds the form, as a dialog's button does,
// and an owner that frees the form when the pen lifts.
tform *g_doomed;
int free_form_on_pen(tcontrol *, int, int32_t, int32_t, uint32_t) {
  tform_free(g_doomed);
  return 1;
}
void free_form(tform *form) { tform_free(form); }

TEST(Form, NothingTouchesTheFormAfterACallbackFreedIt) {
  run_on_styled_screen([](tscreen *screen) {
    scene s;
    tcontrol *closer = s.add({0, 0, 49, 19});
    s.show();
    tcontrol_set_on_pen(closer, free_form_on_pen);
    g_doomed = s.form;
    s.form = nullptr;
    EXPECT_EQ(pen(screen, 1, 20, 20), 1);

    scene t;
    t.add({0, 0, 49, 299});
    t.show();
    tform_set_on_pen_up(t.form, free_form);
    drag(screen, 60, 20, 0, 35);
    t.form = nullptr;
    EXPECT_EQ(pen(screen, 2, 60, 55), 1);
  }, "240x320");
}

// A drag moves the buffer's view and redraws only what it uncovers: after
// every step the screen must hold what a full redraw of the form gives, with
// children of different colours (one see-through), the focus frame, both
// bars, a child repainted between steps and one hidden between steps.
TEST(Form, ScrollingInPlaceGivesTheFullRedrawsPixels) {
  run_on_styled_screen([](tscreen *screen) {
    scene s;
    for (int i = 0; i < 24; i++) {
      int32_t x = (i % 3) * 45, y = (i / 3) * 35;
      tcontrol *c = s.add({x, y, x + 39, y + 29}, i == 4);
      tbdrawer_set_fill_color(tcontrol_get_box_drawer(c), tcolor_rgba(uint8_t(40 * i), uint8_t(255 - 9 * i), 90));
      if (i == 7) tsurface_set_color_key(&c->_surface, tcolor_rgba(uint8_t(40 * i), uint8_t(255 - 9 * i), 90));
    }
    s.show();
    tform_set_focus(s.form, s.children[4]);
    tsurface *own = &s.form->_control._surface;
    tbitmap *frame = tscreen_get_bitmap(screen);
    auto screen_bytes = [&] {
      const uint8_t *p = tbitmap_get_row(frame, 0);
      const uint8_t *q = tbitmap_get_row(frame, tbitmap_get_height(frame) - 1);
      return std::vector<uint8_t>(std::min(p, q), std::max(p, q) + tbitmap_get_stride(frame));
    };
    // The pixels a full redraw gives, the screen left as it was found.
    auto full_redraw_bytes = [&] {
      std::vector<uint8_t> shown = screen_bytes();
      tsurface_paint(own);
      tscreen_paint(screen, nullptr);
      std::vector<uint8_t> expected = screen_bytes();
      EXPECT_EQ(shown, expected);
      return expected;
    };
    uint32_t seed = 5;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) % 7; };
    int32_t x = 60, y = 60;
    pen(screen, 1, x, y);
    pen(screen, 3, x, y + 6);  // past the slop on both axes
    pen(screen, 3, x + 6, y + 6);
    // A check redraws the form, so the step after it is a full one: checks
    // come after runs of one to five steps.
    for (int check = 0; check < 30; check++) {
      uint32_t redraws = own->_redraws;
      int32_t run = check == 10 || check == 20 ? 3 : 1 + int32_t(next()) % 5;
      for (int step = 0; step < run; step++) {
        x = std::clamp(x + int32_t(next()) - 3, 20, 100);
        y = std::clamp(y + int32_t(next()) - 3, 20, 100);
        if (check == 10 && step == run - 1) {
          tbdrawer_set_fill_color(tcontrol_get_box_drawer(s.children[5]), tcolor_rgba(255, 255, 0));
          tsurface_paint(&s.children[5]->_surface);
        }
        if (check == 20 && step == run - 1) tsurface_set_visible(&s.children[3]->_surface, 0);
        pen(screen, 3, x, y);
      }
      if (check != 10 && check != 20) {
        EXPECT_LE(own->_redraws, redraws + 1) << "the steps redrew the whole form";
      }
      SCOPED_TRACE("check " + std::to_string(check));
      full_redraw_bytes();
    }
    pen(screen, 2, x, y);
  }, "240x320");
}
