// The screen: input dispatch order and capture, paint order and the lock,
// keyed and masked composition at 565, list idempotence, partial paints.
#include "tscreen.h"

#include <gtest/gtest.h>

#include <array>

#include "os_display.h"
#include "port_test_app.h"
#include "screen_fixture.h"

namespace {

using log_t = std::vector<std::string>;

uint32_t rgb565(uint32_t word) {
  return ((word >> 19) & 0x1F) << 11 | ((word >> 10) & 0x3F) << 5 | ((word >> 3) & 0x1F);
}

int count_listed(tscreen *screen) {
  int n = 0;
  for (tsurface_link *l = screen->_surfaces.next; l != &screen->_surfaces; l = l->next) n++;
  return n;
}

int32_t hook_pen(int type, int32_t x, int32_t y, uint32_t) {
  g_screen_log.push_back("hook:pen " + std::to_string(type) + " " + std::to_string(x) + " " + std::to_string(y));
  return 7;
}
int32_t hook_key(uint32_t code, uint32_t, uint32_t) {
  g_screen_log.push_back("hook:key " + std::to_string(code));
  return 5;
}
void hook_paint(tscreen *, const trect *) { g_screen_log.push_back("hook:paint"); }

}  // namespace

TEST(ScreenDispatch, ModalThenFrontToBackThenTheHook) {
  run_on_screen([](tscreen *screen) {
    // Nothing listed and no hooks: nobody answers, the pen position is kept.
    EXPECT_EQ(tscreen_dispatch_pen(screen, 1, 3, 4, 0), 0);
    EXPECT_EQ(tscreen_dispatch_key(screen, 'a', 1, 0), 0);
    tpoint p;
    tscreen_get_last_pen_pos(screen, &p);
    EXPECT_EQ(std::make_pair(p.x, p.y), std::make_pair(3, 4));

    named_surface back("back", nullptr, {0, 0, 9, 9}), front("front", nullptr, {0, 0, 9, 9});
    named_surface hidden("hidden", nullptr, {0, 0, 9, 9}), modal("modal", nullptr, {0, 0, 9, 9});
    for (named_surface *s : {&back, &front, &hidden, &modal}) named_surface_log_input(s);
    tscreen_insert_surface(screen, &back.surface);
    tscreen_insert_surface(screen, &hidden.surface);
    tscreen_insert_surface(screen, &front.surface);
    tsurface_set_visible(&hidden.surface, 0);
    tscreen_set_modal(screen, &modal.surface);
    tscreen_set_pen_hook(screen, hook_pen);
    tscreen_set_key_hook(screen, hook_key);

    EXPECT_EQ(tscreen_dispatch_pen(screen, 3, 5, 6, 0), 7);
    EXPECT_EQ(tscreen_dispatch_key(screen, 65, 1, 0), 5);
    EXPECT_EQ(g_screen_log, (log_t{"modal:pen 3 5 6", "front:pen 3 5 6", "back:pen 3 5 6", "hook:pen 3 5 6",
                                   "modal:key 65", "front:key 65", "back:key 65", "hook:key 65"}));
    g_screen_log.clear();
    front.pen_answer = 1;
    EXPECT_EQ(tscreen_dispatch_pen(screen, 1, 0, 0, 0), 1);
    EXPECT_EQ(g_screen_log.back(), "front:pen 1 0 0");
  });
}

TEST(ScreenDispatch, PenUpClearsTheCaptureEvenWhenItAnswersZero) {
  run_on_screen([](tscreen *screen) {
    named_surface cap("cap", nullptr, {0, 0, 9, 9}), listed("listed", nullptr, {0, 0, 9, 9});
    named_surface_log_input(&cap);
    named_surface_log_input(&listed);
    tscreen_insert_surface(screen, &listed.surface);
    tsurface_set_pen_capture(&cap.surface, 1);
    ASSERT_EQ(tscreen_get_pen_capture(screen), &cap.surface);

    EXPECT_EQ(tscreen_dispatch_pen(screen, 2, 8, 9, 0), 0);
    EXPECT_EQ(tscreen_get_pen_capture(screen), nullptr);
    EXPECT_EQ(tsurface_has_pen_capture(&cap.surface), 0);
    EXPECT_EQ(g_screen_log, (log_t{"cap:pen 2 8 9", "listed:pen 2 8 9"}));

    // A move does not release it, and an answer of 1 ends the dispatch there.
    tsurface_set_pen_capture(&cap.surface, 1);
    cap.pen_answer = 1;
    g_screen_log.clear();
    EXPECT_EQ(tscreen_dispatch_pen(screen, 3, 1, 1, 0), 1);
    EXPECT_EQ(tscreen_get_pen_capture(screen), &cap.surface);
    EXPECT_EQ(g_screen_log.size(), 1u);
    cap.deinit();
    EXPECT_EQ(tscreen_get_pen_capture(screen), nullptr);
    listed.deinit();

    // Captured three levels deep: the point less three origins.
    named_surface a("a", nullptr, {10, 20, 59, 47}), b("b", &a.surface, {3, 4, 40, 20});
    named_surface c("c", &b.surface, {1, 2, 30, 15}), d("d", &c.surface, {5, 5, 9, 9});
    named_surface_log_input(&d);
    tsurface_set_pen_capture(&d.surface, 1);
    g_screen_log.clear();
    tscreen_dispatch_pen(screen, 3, 30, 40, 0);
    EXPECT_EQ(g_screen_log, log_t{"d:pen 3 16 14"});
  });
}

namespace {
tscreen *g_unlink_screen;
int unlink_self(tsurface *s, int, int32_t, int32_t, uint32_t) {
  g_screen_log.push_back("unlink");
  auto *self = static_cast<named_surface *>(tsurface_get_owner(s));
  tscreen_remove_surface(g_unlink_screen, s);
  delete self;
  return 0;
}
int unlink_self_key(tsurface *s, uint32_t, uint32_t, uint32_t) { return unlink_self(s, 0, 0, 0, 0); }
}  // namespace

TEST(ScreenDispatch, HandlerMayUnlinkAndFreeItsOwnSurface) {
  run_on_screen([](tscreen *screen) {
    g_unlink_screen = screen;
    named_surface back("back", nullptr, {0, 0, 9, 9});
    named_surface_log_input(&back);
    tscreen_insert_surface(screen, &back.surface);
    // Listed and taking a pen-down or a key; then holding the capture and
    // taking the pen-up (the release must not touch it after the free).
    for (int pass = 0; pass < 3; pass++) {
      auto *gone = new named_surface("gone", nullptr, {0, 0, 9, 9});
      tsurface_set_on_pen(&gone->surface, unlink_self);
      tsurface_set_on_key(&gone->surface, unlink_self_key);
      if (pass < 2) tscreen_insert_surface(screen, &gone->surface);
      if (pass == 0)
        tscreen_dispatch_pen(screen, 1, 2, 3, 0);
      else if (pass == 1)
        tscreen_dispatch_key(screen, 'x', 1, 0);
      else
        tsurface_set_pen_capture(&gone->surface, 1), tscreen_dispatch_pen(screen, 2, 4, 5, 0);
    }
    EXPECT_EQ(g_screen_log, (log_t{"unlink", "back:pen 1 2 3", "unlink", "back:key 120", "unlink", "back:pen 2 4 5"}));
    EXPECT_EQ(count_listed(screen), 1);
    EXPECT_EQ(tscreen_get_pen_capture(screen), nullptr);
  });
}

TEST(ScreenDispatch, ThePortHandsTheViewsPenAndKeysToTheSurfaces) {
  run_on_screen([](tscreen *screen) {
    named_surface panel("panel", nullptr, {0, 0, 9, 9});
    named_surface_log_input(&panel);
    panel.pen_answer = panel.key_answer = 1;
    tscreen_insert_surface(screen, &panel.surface);
    os_input_pen(OS_PEN_DOWN, 12, 7, 0);
    os_input_pen(OS_PEN_UP, 12, 7, 0);
    os_input_char(u'q');
    port_test_pump();
    EXPECT_EQ(g_screen_log, (log_t{"panel:pen 1 12 7", "panel:pen 2 12 7", "panel:key 113"}));
  });
}

namespace {
int32_t g_hook_answer;
bool g_hook_lifts_inside;  // the hook's pen-down runs a loop that brings the pen-up
int32_t holding_hook(int type, int32_t x, int32_t y, uint32_t modifiers) {
  hook_pen(type, x, y, modifiers);
  if (type == TSCREEN_PEN_DOWN && g_hook_lifts_inside) {
    g_hook_lifts_inside = false;
    tscreen_dispatch_pen(tscreen_get(), TSCREEN_PEN_UP, x, y, 0);
  }
  return g_hook_answer;
}
}  // namespace

// A stroke whose pen-down only the hook took is the hook's to its pen-up:
// a surface, a modal or a capture that turns up on its way sees none of it.
TEST(ScreenDispatch, TheHookKeepsThePenFromItsPenDownToItsPenUp) {
  const log_t after_them = {"cap:pen 3 9 9", "modal:pen 3 9 9", "over:pen 3 9 9", "hook:pen 3 9 9"};
  struct row {
    const char *name;
    int32_t hook_answer;
    bool lifts_inside, new_hook;
    std::vector<std::array<int, 3>> steps;  // type, x, y
    log_t expected;                         // then after_them
  } rows[] = {
      {"held over everything", 1, false, false, {{1, 1, 2}, {3, 5, 6}, {2, 7, 8}},
       {"hook:pen 1 1 2", "hook:pen 3 5 6", "hook:pen 2 7 8"}},
      {"a lost pen-up ends the stroke where the pen was", 1, false, false, {{1, 1, 2}, {3, 5, 6}, {1, 9, 9}, {2, 9, 9}},
       {"hook:pen 1 1 2", "hook:pen 3 5 6", "hook:pen 2 5 6", "cap:pen 1 9 9", "modal:pen 1 9 9", "over:pen 1 9 9",
        "hook:pen 1 9 9", "hook:pen 2 9 9"}},
      {"a pen-down the hook refuses holds nothing", 0, false, false, {{1, 1, 2}}, {"hook:pen 1 1 2"}},
      {"a pen-up from a loop inside the pen-down", 1, true, false, {{1, 1, 2}}, {"hook:pen 1 1 2", "hook:pen 2 1 2"}},
      {"a new hook holds nothing of the old one's stroke", 1, false, true, {{1, 1, 2}}, {"hook:pen 1 1 2"}},
  };
  for (const row &r : rows) {
    run_on_screen([&](tscreen *screen) {
      SCOPED_TRACE(r.name);
      g_hook_answer = r.hook_answer;
      g_hook_lifts_inside = r.lifts_inside;
      tscreen_set_pen_hook(screen, holding_hook);
      named_surface over("over", nullptr, {0, 0, 9, 9}), modal("modal", nullptr, {0, 0, 9, 9});
      named_surface cap("cap", nullptr, {0, 0, 9, 9});
      for (named_surface *s : {&over, &modal, &cap}) named_surface_log_input(s);
      // They come after the pen-down, which they would otherwise all see.
      for (size_t i = 0; i < r.steps.size(); i++) {
        tscreen_dispatch_pen(screen, r.steps[i][0], r.steps[i][1], r.steps[i][2], 0);
        if (i > 0) continue;
        tscreen_insert_surface(screen, &over.surface);
        tscreen_set_modal(screen, &modal.surface);
        tsurface_set_pen_capture(&cap.surface, 1);
        if (r.new_hook) tscreen_set_pen_hook(screen, hook_pen);
      }
      tscreen_dispatch_pen(screen, 3, 9, 9, 0);
      log_t expected = r.expected;
      expected.insert(expected.end(), after_them.begin(), after_them.end());
      EXPECT_EQ(g_screen_log, expected);
      tscreen_remove_surface(screen, &over.surface);
    });
  }
}

// Composed back to front after the hook, the modal once and last.
TEST(ScreenList, InsertingTwiceLeavesOneEntryAndTheModalIsComposedOnceAndLast) {
  run_on_screen([](tscreen *screen) {
    named_surface a("a", nullptr, {0, 0, 3, 3}), b("b", nullptr, {0, 0, 3, 3}), modal("modal", nullptr, {0, 0, 3, 3});
    for (named_surface *s : {&a, &b, &modal}) named_surface_log_compose(s);
    EXPECT_EQ(tsurface_is_linked(&a.surface), 0);
    tscreen_remove_surface(screen, &a.surface);  // never listed
    tscreen_insert_surface(screen, &a.surface);
    tscreen_insert_surface(screen, &modal.surface);
    tscreen_insert_surface(screen, &b.surface);
    tscreen_insert_surface(screen, &a.surface);
    tscreen_append_surface(screen, &b.surface);
    tscreen_append_surface(screen, &b.surface);
    EXPECT_EQ(count_listed(screen), 3);
    tscreen_set_modal(screen, &modal.surface);
    tscreen_set_paint_hook(screen, hook_paint);
    tscreen_paint(screen, nullptr);
    EXPECT_EQ(g_screen_log, (log_t{"hook:paint", "b:compose", "a:compose", "modal:compose"}));
    modal.deinit();
    EXPECT_EQ(tscreen_get_modal(screen), nullptr);
    tscreen_remove_surface(screen, &a.surface);
    tscreen_remove_surface(screen, &a.surface);
    EXPECT_EQ(count_listed(screen), 1);
    b.deinit();  // tearing down a listed surface takes it out of the list
    EXPECT_EQ(count_listed(screen), 0);
  });
}

TEST(ScreenPaint, LockStopsTheHookTheCompositionAndTheFlush) {
  run_on_screen([](tscreen *screen) {
    named_surface a("a", nullptr, {0, 0, 3, 3}, 0xFFFF0000u);
    tsurface_realize(&a.surface);
    tscreen_insert_surface(screen, &a.surface);
    tscreen_set_paint_hook(screen, hook_paint);
    tbitmap_fill_rect(tscreen_get_bitmap(screen), 0, 0, 63, 47, 0xFF0000FFu);
    int presents = os_headless_get_present_count();
    tscreen_set_update_lock(screen, 1);
    EXPECT_EQ(tscreen_paint(screen, nullptr), 1);
    EXPECT_TRUE(g_screen_log.empty());
    EXPECT_EQ(screen_pixel(screen, 0, 0), rgb565(0xFF0000FFu));
    EXPECT_EQ(os_headless_get_present_count(), presents);

    // Unlocked: the area asked for is composed and shown, the rest is not.
    tscreen_set_update_lock(screen, 0);
    trect part = {2, 1, 5, 3};
    tscreen_paint(screen, &part);
    EXPECT_EQ(g_screen_log, log_t{"hook:paint"});
    trect shown = os_headless_get_last_rect();
    EXPECT_TRUE(trect_is_equal(&shown, &part));
    EXPECT_EQ(os_headless_get_pixel(3, 2), rgb565(0xFFFF0000u));
    EXPECT_EQ(screen_pixel(screen, 0, 0), rgb565(0xFF0000FFu));
    tscreen_paint(screen, nullptr);
    EXPECT_EQ(os_headless_get_pixel(0, 0), rgb565(0xFFFF0000u));
    EXPECT_EQ(os_headless_get_pixel(4, 4), rgb565(0xFF0000FFu));
  });
}

// The key's red and blue differ, so a key packed with the two swapped shows:
// the key colour is skipped, its mirror image is drawn.
TEST(ScreenPaint, KeyedColourIsSkippedAndMaskWinsOverKey) {
  run_on_screen([](tscreen *screen) {
    const uint32_t under = 0xFF204060u, body = 0xFF00FF00u, key_word = 0xFFE02040u, mirror = 0xFF4020E0u;
    tbitmap_fill_rect(tscreen_get_bitmap(screen), 0, 0, 63, 47, under);
    named_surface keyed("keyed", nullptr, {0, 0, 7, 7}, body), masked("masked", nullptr, {20, 0, 27, 7}, body);
    named_surface hidden("hidden", nullptr, {40, 0, 47, 7}, body);
    for (named_surface *s : {&keyed, &masked, &hidden}) {
      tsurface_realize(&s->surface);
      tbitmap_set_pixel(tcanvas_get_bitmap(tsurface_get_canvas(&s->surface)), 2, 2, rgb565(key_word));
      tbitmap_set_pixel(tcanvas_get_bitmap(tsurface_get_canvas(&s->surface)), 4, 2, rgb565(mirror));
      tscreen_insert_surface(screen, &s->surface);
    }
    tcolor key;
    tcolor_make(&key, 0xE0, 0x20, 0x40, 255);
    tsurface_set_color_key(&keyed.surface, key);
    tsurface_set_color_key(&masked.surface, key);
    tbitmap *mask = tbitmap_new(8, -8, 8);
    for (int32_t y = 0; y < 8; y++)
      for (int32_t x = 0; x < 8; x++) tbitmap_set_pixel(mask, x, y, x < 4 ? 255 : 0);
    tsurface_set_mask(&masked.surface, mask, 255);
    tsurface_set_visible(&hidden.surface, 0);
    tscreen_paint(screen, nullptr);

    EXPECT_EQ(screen_pixel(screen, 2, 2), rgb565(under));  // the key colour lets the frame show
    EXPECT_EQ(screen_pixel(screen, 3, 2), rgb565(body));
    EXPECT_EQ(screen_pixel(screen, 4, 2), rgb565(mirror));
    // The mask, not the key, decides: the same masked blit on the same ground.
    tbitmap *expect = tbitmap_new(8, -8, 16);
    tbitmap_fill_rect(expect, 0, 0, 7, 7, under);
    tpoint at = {0, 0};
    trect all = {0, 0, 7, 7};
    tbitmap_blit_masked(expect, &at, tcanvas_get_bitmap(tsurface_get_canvas(&masked.surface)), &all, mask, 255);
    EXPECT_NE(tbitmap_get_pixel(expect, 2, 2), rgb565(under));
    for (int32_t y = 0; y < 8; y++)
      for (int32_t x = 0; x < 8; x++) EXPECT_EQ(screen_pixel(screen, 20 + x, y), tbitmap_get_pixel(expect, x, y));
    tbitmap_free(expect);
    EXPECT_EQ(screen_pixel(screen, 42, 2), rgb565(under));  // invisible: not composed
    masked.deinit();
    tbitmap_free(mask);
  });
}

namespace {
// A dialog-style backdrop: halves every pixel of the area it is given.
void dim_backdrop(tsurface *, tcanvas *canvas, const trect *rect) {
  tbitmap *b = tcanvas_get_bitmap(canvas);
  for (int32_t y = rect->y1; y <= rect->y2; y++)
    for (int32_t x = rect->x1; x <= rect->x2; x++) tbitmap_set_pixel(b, x, y, (tbitmap_get_pixel(b, x, y) >> 1) & 0x7BEF);
}
}  // namespace

TEST(ScreenPaint, PartialPaintTouchesOnlyItsAreaAndDimsItOnce) {
  run_on_screen([](tscreen *screen) {
    const uint32_t white = 0xFFFFFFFFu;
    named_surface panel("panel", nullptr, {0, 0, 19, 19}, white), dialog("dialog", nullptr, {30, 30, 39, 39}, 0xFF0000FFu);
    tsurface_set_on_backdrop(&dialog.surface, dim_backdrop);
    tsurface_realize(&dialog.surface);
    tsurface_realize(&panel.surface);
    tscreen_insert_surface(screen, &panel.surface);
    tscreen_insert_surface(screen, &dialog.surface);
    tscreen_set_modal(screen, &dialog.surface);
    tbitmap_fill_rect(tscreen_get_bitmap(screen), 0, 0, 63, 47, white);
    tscreen_paint(screen, nullptr);
    uint32_t dimmed = (rgb565(white) >> 1) & 0x7BEF;
    EXPECT_EQ(screen_pixel(screen, 5, 5), dimmed);
    EXPECT_EQ(screen_pixel(screen, 50, 5), dimmed);

    // Repaints of a part, and direct updates of the panel, dim only that part
    // again, and only once.
    trect part = {0, 0, 9, 9}, local = {2, 2, 4, 4};
    tscreen_paint(screen, &part);
    tscreen_paint(screen, &part);
    EXPECT_EQ(screen_pixel(screen, 5, 5), dimmed);
    EXPECT_EQ(screen_pixel(screen, 50, 5), dimmed);
    tsurface_set_update_mode(&panel.surface, 1, 0);
    tsurface_update(&panel.surface, &local);
    tsurface_update(&panel.surface, &local);
    EXPECT_EQ(screen_pixel(screen, 3, 3), dimmed);
    EXPECT_EQ(screen_pixel(screen, 15, 15), dimmed);
    EXPECT_EQ(screen_pixel(screen, 35, 35), rgb565(0xFF0000FFu));
  });
}

TEST(ScreenPaint, DirectUpdateKeepsFrontSurfacesOnTop) {
  run_on_screen([](tscreen *screen) {
    named_surface anim("anim", nullptr, {0, 0, 19, 19}, 0xFFFF0000u), hint("hint", nullptr, {10, 10, 29, 29}, 0xFF00FF00u);
    for (named_surface *s : {&anim, &hint}) {
      tsurface_realize(&s->surface);
      tscreen_insert_surface(screen, &s->surface);
    }
    tscreen_paint(screen, nullptr);
    tsurface_set_update_mode(&anim.surface, 1, 0);
    anim.fill = 0xFF0000FFu;
    tsurface_update(&anim.surface, nullptr);
    EXPECT_EQ(screen_pixel(screen, 5, 5), rgb565(0xFF0000FFu));
    EXPECT_EQ(screen_pixel(screen, 15, 15), rgb565(0xFF00FF00u));
    // Locked: the buffer follows, the frame buffer does not.
    tscreen_set_update_lock(screen, 1);
    anim.fill = 0xFFFFFF00u;
    tsurface_update(&anim.surface, nullptr);
    EXPECT_EQ(screen_pixel(screen, 5, 5), rgb565(0xFF0000FFu));
    tscreen_set_update_lock(screen, 0);
  });
}

TEST(ScreenResize, KeepsTheRowOrderAndAFailureLeavesAScreenThatDoesNotPaint) {
  tscreen screen;
  ASSERT_EQ(tscreen_init(&screen, 30, -20), 1);
  EXPECT_EQ(tbitmap_get_bpp(tscreen_get_bitmap(&screen)), 16);
  ASSERT_EQ(tscreen_resize(&screen, 40, 50), 1);
  EXPECT_TRUE(tbitmap_is_top_down(tscreen_get_bitmap(&screen)));
  EXPECT_EQ(std::make_pair(screen._rect.x2, screen._rect.y2), std::make_pair(39, 49));
  uint64_t budget = tbitmap_set_budget(100);
  EXPECT_EQ(tscreen_resize(&screen, 400, 400), 0);
  tbitmap_set_budget(budget);
  g_screen_log.clear();
  tscreen_set_paint_hook(&screen, hook_paint);
  EXPECT_EQ(tscreen_paint(&screen, nullptr), 1);
  EXPECT_TRUE(g_screen_log.empty());
  tscreen_deinit(&screen);

  ASSERT_EQ(tscreen_init(&screen, 30, 20), 1);
  ASSERT_EQ(tscreen_resize(&screen, 40, -50), 1);
  EXPECT_FALSE(tbitmap_is_top_down(tscreen_get_bitmap(&screen)));
  tscreen_deinit(&screen);
  EXPECT_EXIT(tscreen_paint(nullptr, nullptr), ::testing::ExitedWithCode(255), "code = tscreen\\([0-9]+\\)");
}
