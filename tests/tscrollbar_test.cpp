// Scroll bar: where the thumb lies for a range, page and position; page taps
// beside the thumb; thumb drags through the screen with the pen capture;
// direction keys by orientation; the default look under the hooks.
#include "tscrollbar.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "gui_fixture.h"
#include "screen_fixture.h"

namespace {

std::vector<int32_t> g_changes;
std::vector<int32_t> g_thumb;  // x1, y1, x2, y2 of the last thumb drawn

void log_change(tscrollbar *, int32_t position) { g_changes.push_back(position); }
void record_thumb(tscrollbar *, tcanvas *, const trect *rect, int *draw) {
  g_thumb = {rect->x1, rect->y1, rect->x2, rect->y2};
  *draw = 0;
}

struct bar {
  tscrollbar *sb;
  bar(trect rect, int vertical, int32_t max, int32_t page, int32_t pos) {
    g_changes.clear();
    sb = tscrollbar_new(nullptr, &rect, vertical, nullptr);
    tscrollbar_set_max(sb, max);
    tscrollbar_set_page(sb, page);
    tscrollbar_set_pos(sb, pos);
    tscrollbar_set_on_change(sb, log_change);
    tscrollbar_set_paint_hooks(sb, nullptr, record_thumb);
    tcontrol_realize(&sb->_control);
  }
  ~bar() { tscrollbar_free(sb); }
  std::vector<int32_t> thumb() {
    tsurface_update(&sb->_control._surface, nullptr);
    return g_thumb;
  }
};

int pen(tscreen *screen, int type, int32_t x, int32_t y) { return tscreen_dispatch_pen(screen, type, x, y, 0); }

}  // namespace

TEST(ScrollBar, ThumbFollowsTheFormulaOnBothAxes) {
  run_on_styled_screen([](tscreen *) {
    struct row {
      int vertical;
      int32_t max, page, pos;
      std::vector<int32_t> thumb;
    };
    // A 50-pixel track, 6 pixels thick.
    const row rows[] = {
        {1, 100, 100, 0, {0, 0, 5, 48}},    // 50 x 100 / 101 = 49
        {1, 100, 0, 0, {0, 0, 5, 9}},       // no page: 10
        {1, 100, 1, 50, {0, 20, 5, 29}},    // 50 / 101 is below 2: 10, at 40 x 50 / 100
        {1, 9, 5, 3, {0, 15, 5, 39}},       // 50 x 5 / 10 = 25, at 25 x 3 / 5
        {1, 100, 10, 100, {0, 46, 5, 49}},  // 4 pixels, the offset held at 50 - 4
        {0, 100, 100, 0, {0, 0, 48, 5}},
        {0, 100, 1, 50, {20, 0, 29, 5}},
        {1, 4, 6, 3, {0, 0, 5, 49}},        // page past the range: the whole track
    };
    for (const row &r : rows) {
      SCOPED_TRACE(testing::Message() << r.vertical << " " << r.max << " " << r.page << " " << r.pos);
      bar b(r.vertical ? trect{0, 0, 5, 49} : trect{0, 0, 49, 5}, r.vertical, r.max, r.page, r.pos);
      EXPECT_EQ(b.thumb(), r.thumb);
    }
  });
}

TEST(ScrollBar, RangeChangesKeepThePositionInside) {
  run_on_styled_screen([](tscreen *) {
    bar b({0, 0, 5, 49}, 1, 100, 10, 60);
    tscrollbar_set_max(b.sb, 50);  // below the position: back to the minimum
    EXPECT_EQ(tscrollbar_get_pos(b.sb), 0);
    tscrollbar_set_pos(b.sb, 70);
    EXPECT_EQ(tscrollbar_get_pos(b.sb), 50);
    tscrollbar_set_min(b.sb, 60);
    EXPECT_EQ(tscrollbar_get_pos(b.sb), 60);
  });
}

TEST(ScrollBar, TapsBesideTheThumbPageAndClamp) {
  run_on_styled_screen([](tscreen *screen) {
    // A 100-pixel track at y 10: page 20 of 0-100 is a thumb of 19 at 5.
    bar b({4, 10, 9, 109}, 1, 100, 20, 5);
    EXPECT_EQ(b.thumb(), (std::vector<int32_t>{0, 5, 5, 23}));
    EXPECT_EQ(pen(screen, 1, 6, 12), 1);  // above the thumb: 5 - 20, clamped
    pen(screen, 2, 6, 12);
    EXPECT_EQ(pen(screen, 1, 6, 80), 1);  // below: + 20
    pen(screen, 2, 6, 80);
    EXPECT_EQ(pen(screen, 1, 11, 80), 0);  // beside the bar
    EXPECT_EQ(g_changes, (std::vector<int32_t>{0, 20}));
    tscrollbar_set_no_page_tap(b.sb, 1);
    EXPECT_EQ(pen(screen, 1, 6, 100), 1);
    EXPECT_EQ(tscrollbar_get_pos(b.sb), 20);
    EXPECT_EQ(g_changes.size(), 2u);
    bar across({20, 10, 119, 15}, 0, 100, 20, 50);  // right of its thumb: + 20
    pen(screen, 1, 110, 12);
    pen(screen, 2, 110, 12);
    EXPECT_EQ(tscrollbar_get_pos(across.sb), 70);
  });
}

TEST(ScrollBar, DragMovesByTheTravelTimesMaxOverExtent) {
  run_on_styled_screen([](tscreen *screen) {
    bar b({0, 0, 5, 49}, 1, 100, 10, 0);  // thumb rows 0-3
    EXPECT_EQ(pen(screen, 1, 2, 1), 1);
    EXPECT_TRUE(tscrollbar_is_dragging(b.sb));
    pen(screen, 3, 2, 11);   // 10 x 100 / 50
    pen(screen, 3, 40, 4);   // outside but captured: 3 x 100 / 50
    pen(screen, 3, 2, -30);  // clamped
    pen(screen, 2, 2, -30);
    EXPECT_FALSE(tscrollbar_is_dragging(b.sb));
    EXPECT_EQ(pen(screen, 3, 40, 20), 0);  // the capture is gone
    EXPECT_EQ(g_changes, (std::vector<int32_t>{20, 6, 0}));

    // Fractions are cut toward zero: 10 x 7 / 50 = 1.4.
    tscrollbar_set_max(b.sb, 7);
    tscrollbar_set_page(b.sb, 0);
    g_changes.clear();
    pen(screen, 1, 2, 1);
    pen(screen, 3, 2, 11);
    pen(screen, 2, 2, 11);
    EXPECT_EQ(g_changes, (std::vector<int32_t>{1}));
  });
}

TEST(ScrollBar, ADragOnABarShrunkToNothingDoesNothing) {
  run_on_styled_screen([](tscreen *screen) {
    bar b({0, 0, 5, 49}, 1, 100, 10, 0);
    pen(screen, 1, 2, 1);
    tcontrol_set_size(&b.sb->_control, 6, 0);
    EXPECT_EQ(pen(screen, 3, 2, 30), 1);
    EXPECT_TRUE(g_changes.empty());
    pen(screen, 2, 2, 30);
  });
}

TEST(ScrollBar, KeysStepAlongTheBarsOwnAxisOnly) {
  run_on_styled_screen([](tscreen *screen) {
    struct row {
      int vertical;
      uint32_t back, forward, other;
    };
    const row rows[] = {{1, 0xF809, 0xF80A, 0xF808}, {0, 0xF807, 0xF808, 0xF80A}};
    for (const row &r : rows) {
      bar b({0, 0, 49, 49}, r.vertical, 10, 2, 5);
      tscrollbar_set_step(b.sb, 3);
      tscrollbar_set_step(b.sb, 11);  // more than the range: refused
      EXPECT_EQ(tscreen_dispatch_key(screen, r.other, 0, 0), 0);
      for (uint32_t code : {r.forward, r.forward, r.back, r.back, r.back, r.back})
        EXPECT_EQ(tscreen_dispatch_key(screen, code, 0, 0), 1);
      EXPECT_EQ(g_changes, (std::vector<int32_t>{8, 10, 7, 4, 1, 0}));
    }
  });
}

TEST(ScrollBar, DefaultLookPaintsTrackAndThumbAndThePressedThumbWhileDragging) {
  run_on_styled_screen([](tscreen *screen) {
    trect rect = {0, 0, 7, 39};
    tscrollbar *sb = tscrollbar_new(nullptr, &rect, 1, nullptr);
    tscrollbar_set_max(sb, 3);
    tscrollbar_set_page(sb, 2);  // 40 x 2 / 4 = 20 pixels
    tbdrawer *track = tcontrol_get_box_drawer(&sb->_control);
    tbdrawer_set_no_border(track);
    tbdrawer_set_fill_color(track, tcolor_rgba(0, 255, 0));
    tbdrawer_set_fill_color(tscrollbar_get_thumb_drawer(sb), tcolor_rgba(255, 0, 0));
    tbdrawer_set_fill_color(tscrollbar_get_pressed_thumb_drawer(sb), tcolor_rgba(0, 0, 255));
    tcontrol_realize(&sb->_control);
    tscreen_paint(screen, nullptr);
    const uint32_t green = 0x07E0, red = 0xF800, blue = 0x001F;
    EXPECT_EQ(screen_pixel(screen, 3, 10), red);
    EXPECT_EQ(screen_pixel(screen, 3, 30), green);
    pen(screen, 1, 3, 10);
    EXPECT_EQ(screen_pixel(screen, 3, 10), blue);
    pen(screen, 2, 3, 10);
    EXPECT_EQ(screen_pixel(screen, 3, 10), red);
    tscrollbar_free(sb);
  });
}

namespace {

std::vector<uint8_t> own_pixels(tscrollbar *sb) {
  const tbitmap *b = tcanvas_get_bitmap(&sb->_control._surface._canvas);
  return std::vector<uint8_t>(b->_pixels, b->_pixels + tbitmap_get_image_size(b));
}

void set_own_pixels(tscrollbar *sb, const std::vector<uint8_t> &pixels) {
  std::copy(pixels.begin(), pixels.end(), tcanvas_get_bitmap(&sb->_control._surface._canvas)->_pixels);
}

void keep_drawing(tscrollbar *, tcanvas *, const trect *, int *) {}

}  // namespace

// A repaint that would give what the bar's buffer holds is left out; any
// change to what it shows draws it again, as a bar laid out afresh draws it.
// A 50-pixel track over 0-100 with a page of 20: the thumb is 9 pixels long
// and moves a pixel every two positions or so.
TEST(ScrollBar, ARepaintIsLeftOutOnlyWhenNothingShownChanged) {
  run_on_styled_screen([](tscreen *) {
    struct row {
      const char *name;
      std::function<void(tscrollbar *)> change;
      bool drawn;
    };
    const row rows[] = {
        {"nothing", [](tscrollbar *) {}, false},
        {"the same position", [](tscrollbar *sb) { tscrollbar_set_pos(sb, 10); }, false},
        {"a position step within the thumb's pixel", [](tscrollbar *sb) { tscrollbar_set_pos(sb, 11); }, false},
        {"position", [](tscrollbar *sb) { tscrollbar_set_pos(sb, 40); }, true},
        {"page", [](tscrollbar *sb) { tscrollbar_set_page(sb, 30); }, true},
        {"max", [](tscrollbar *sb) { tscrollbar_set_max(sb, 200); }, true},
        {"min", [](tscrollbar *sb) { tscrollbar_set_min(sb, 5); }, true},
        {"pressed", [](tscrollbar *sb) { sb->_dragging = 1; }, true},
        {"thumb look",
         [](tscrollbar *sb) { tbdrawer_set_fill_color(tscrollbar_get_thumb_drawer(sb), tcolor_rgba(255, 0, 0)); },
         true},
        {"track look",
         [](tscrollbar *sb) { tbdrawer_set_fill_color(tcontrol_get_box_drawer(&sb->_control), tcolor_rgba(0, 0, 255)); },
         true},
        {"paint hook", [](tscrollbar *sb) { tscrollbar_set_paint_hooks(sb, keep_drawing, nullptr); }, true},
    };
    for (const row &r : rows) {
      SCOPED_TRACE(r.name);
      trect rect = {0, 0, 7, 49};
      tscrollbar *sb = tscrollbar_new(nullptr, &rect, 1, nullptr);
      tscrollbar_set_max(sb, 100);
      tscrollbar_set_page(sb, 20);
      tscrollbar_set_pos(sb, 10);
      tcontrol_realize(&sb->_control);
      tsurface_paint(&sb->_control._surface);
      r.change(sb);
      // Scribbled over, the buffer shows whether the repaint drew.
      std::vector<uint8_t> held = own_pixels(sb), scribbled(held.size(), 0xA5);
      set_own_pixels(sb, scribbled);
      tsurface_paint(&sb->_control._surface);
      EXPECT_EQ(own_pixels(sb) != scribbled, r.drawn);
      if (!r.drawn) set_own_pixels(sb, held);
      std::vector<uint8_t> shown = own_pixels(sb);
      tcontrol_layout(&sb->_control, &rect);
      EXPECT_EQ(shown, own_pixels(sb));
      tscrollbar_free(sb);
    }
  });
}
