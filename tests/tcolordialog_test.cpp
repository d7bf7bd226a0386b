// Colour dialog: what the recent row shows and lets through, how a pick
// reorders the caller's recent list (the count read from settings taken as
// 0..8), the swatch grid centred at both screen sizes, the road through the
// RGB dialog and back, and a dialog that cannot be made whole.
#include "tcolordialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "screen_fixture.h"
#include "tadvcolordialog.h"
#include "tbitmap.h"
#include "tbutton.h"
#include "tdialog.h"
#include "tform.h"
#include "tprogressbar.h"
#include "tstyler.h"
#include "widget_fixture.h"

namespace {

using words = std::vector<uint32_t>;
using ints = std::vector<int32_t>;

constexpr uint32_t rgb565(int r, int g, int b) { return uint32_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)); }
constexpr uint32_t k_orange = tcolor_key_rgb(255, 153, 0);  // palette entry 17
constexpr int k_orange_index = 17;
constexpr int k_magenta_index = 24;

std::vector<std::string> g_results;
// What the caller's words held when its callback ran.
words g_seen_recent;
uint32_t g_seen_color;
uint32_t g_color;
words g_recent;
int32_t g_count;
bool g_modal_when_called;

void record_result(int32_t result, void *user_data) {
  g_results.push_back(std::to_string(result) + " " + static_cast<const char *>(user_data));
  g_seen_color = g_color;
  g_seen_recent = g_recent;
  g_modal_when_called = tscreen_get_modal(tscreen_get()) != nullptr;
}

char g_user[] = "user";

tcolordialog *open_dialog(uint32_t color, const words &recent, int32_t count, int32_t width = -1) {
  g_results.clear();
  g_color = color;
  g_recent = recent;
  g_recent.resize(TCOLORDIALOG_RECENT);  // exactly 8 words: reading past them is caught
  g_count = count;
  tcolordialog *cd = tcolordialog_new(u"", width, &g_color, g_recent.data(), &g_count, g_user);
  if (!cd) return nullptr;
  tcolordialog_set_on_result(cd, record_result);
  tcolordialog_show(cd, -1, -1, TDIALOG_PLACE_CENTRE);
  return cd;
}

trect screen_rect_of(void *widget) {
  trect r;
  tsurface_get_screen_rect(&static_cast<tcontrol *>(widget)->_surface, &r);
  return r;
}

void tap(void *widget) {
  trect r = screen_rect_of(widget);
  widget_tap((r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2);
}

uint32_t centre_pixel(tscreen *screen, void *widget) {
  trect r = screen_rect_of(widget);
  return screen_pixel(screen, (r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2);
}

}  // namespace

// Slots beyond the count are white and take no tap; palette swatches show
// their colour in a dark grey edge. The caller's words are written before
// its callback runs, and the dialog is already gone then.
TEST(ColourDialog, EmptyRecentSlotsAreWhiteAndDeafAndAPaletteTapPicks) {
  run_on_styled_screen(
      [](tscreen *screen) {
        widget_env env;
        tcolordialog *cd = open_dialog(0x123456, {}, 0);
        for (tbutton *slot : cd->_recent) {
          EXPECT_EQ(centre_pixel(screen, slot), rgb565(255, 255, 255));
          tap(slot);
          ASSERT_TRUE(g_results.empty());
        }
        tbutton *orange = cd->_palette[k_orange_index];
        trect r = screen_rect_of(orange);
        EXPECT_EQ(centre_pixel(screen, orange), rgb565(255, 153, 0));
        EXPECT_EQ(screen_pixel(screen, r.x1, (r.y1 + r.y2) / 2), rgb565(64, 64, 64));

        tap(cd->_palette[k_magenta_index]);
        EXPECT_EQ(g_results, std::vector<std::string>{"1 user"});
        EXPECT_EQ(g_seen_color, tcolor_key_rgb(255, 1, 255));
        EXPECT_EQ(g_seen_recent[0], tcolor_key_rgb(255, 1, 255));
        EXPECT_EQ(g_count, 1);
        EXPECT_FALSE(g_modal_when_called);
      },
      "240x320");
}

// Picking reorders the recent list. The count comes from a settings file, so
// only 0..8 of it counts, and an entry at or past the count is not a recent
// colour even when it matches.
TEST(ColourDialog, APickGoesToTheFrontOfTheRecentList) {
  const uint32_t a = 0x0000AA, b = 0x00BB00, c = 0xCC0000, d = 0x111111;
  const words eight = {1, 2, 3, 4, 5, 6, 7, 8};
  struct row {
    const char *what;
    words recent;
    int32_t count;
    int recent_slot;  // -1: tap the orange palette swatch
    words expected;
    int32_t expected_count;
  };
  const row rows[] = {
      {"third recent moves up", {a, b, c, d}, 4, 2, {c, a, b, d}, 4},
      {"new colour drops the oldest", eight, 8, -1, {k_orange, 1, 2, 3, 4, 5, 6, 7}, 8},
      {"count 12 acts as 8", eight, 12, 7, {8, 1, 2, 3, 4, 5, 6, 7}, 8},
      {"match past the count is new", {a, b, c, k_orange}, 3, -1, {k_orange, a, b, c}, 4},
      {"negative count acts as 0", {a, b}, -2, -1, {k_orange, b}, 1},
  };
  run_on_styled_screen(
      [&](tscreen *) {
        widget_env env;
        for (const row &r : rows) {
          SCOPED_TRACE(r.what);
          tcolordialog *cd = open_dialog(0, r.recent, r.count);
          tap(r.recent_slot < 0 ? cd->_palette[k_orange_index] : cd->_recent[r.recent_slot]);
          ASSERT_EQ(g_results, std::vector<std::string>{"1 user"});
          words expected = r.expected;
          expected.resize(TCOLORDIALOG_RECENT);
          for (size_t i = r.expected.size(); i < expected.size(); i++)
            expected[i] = i < r.recent.size() ? r.recent[i] : 0;
          EXPECT_EQ(g_recent, expected);
          EXPECT_EQ(g_count, r.expected_count);
          EXPECT_EQ(g_color, r.expected[0]);
        }
      },
      "240x320");
}

// cell = (client width - 2 x 5) / 8 - 5 and the grid centred in the form:
// 234 gives 23 and a margin of 7, 474 gives 53 and 7 (8 on the right). The
// layout values move the rows, and the dialog grows to hold the button.
TEST(ColourDialog, SwatchesAreSizedAndCentredForTheWidth) {
  struct row {
    const char *screen;
    int32_t spaced;  // layout 1, 3, 5, 6 and 7 (0: the defaults)
    int32_t cell, left, right, recent_top, palette_top;
  };
  const row rows[] = {
      {"240x320", 0, 23, 7, 8, 30, 30 + 23 + 8 + 2 + 8},
      {"480x640", 0, 53, 7, 8, 30, 30 + 53 + 8 + 2 + 8},
      {"480x640", 13, 53, 7, 8, 46, 46 + 53 + 13 + 2 + 13},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(std::string(r.screen) + " " + std::to_string(r.spaced));
    run_on_styled_screen(
        [&](tscreen *) {
          if (r.spaced) {
            static int32_t spaced;
            spaced = r.spaced;
            tstyler_set_default(tstyler_new([](tstyler *, void *target, int32_t kind, void *, intptr_t) {
              if (kind != TSTYLE_COLORDIALOG_BEFORE) return;
              for (int32_t index : {1, 3, 5, 6, 7, 8, 9, -1})
                tcolordialog_set_layout(static_cast<tcolordialog *>(target), index, spaced);
            }));
          }
          tcolordialog *cd = open_dialog(0, {}, 0);
          tcontrol *form = reinterpret_cast<tcontrol *>(tdialog_get_form(cd->_dialog));
          int32_t width = tsurface_get_width(&form->_surface);
          const trect &first = *tsurface_get_rect(&reinterpret_cast<tcontrol *>(cd->_recent[0])->_surface);
          const trect &last = *tsurface_get_rect(&reinterpret_cast<tcontrol *>(cd->_palette[39])->_surface);
          const trect &palette = *tsurface_get_rect(&reinterpret_cast<tcontrol *>(cd->_palette[0])->_surface);
          EXPECT_EQ(ints({first.x2 - first.x1 + 1, first.y2 - first.y1 + 1, first.x1, width - 1 - last.x2}),
                    ints({r.cell, r.cell, r.left, r.right}));
          EXPECT_EQ(ints({first.y1, palette.y1}), ints({r.recent_top, r.palette_top}));
          trect more = screen_rect_of(cd->_more), shown = screen_rect_of(form);
          EXPECT_EQ(more.y2 - more.y1 + 1, r.cell + 4);
          EXPECT_LE(more.y2, shown.y2);
          tdialog_close(cd->_dialog, 0);
        },
        r.screen);
  }
}

// "More Colors..." opens the RGB dialog on the picked colour. Its Cancel
// leaves this dialog open and answering; its OK closes both with 1 and the
// RGB dialog's colour.
TEST(ColourDialog, TheRgbDialogCancelsBackAndPicksThrough) {
  run_on_styled_screen(
      [](tscreen *screen) {
        widget_env env;
        tcolordialog *cd = open_dialog(tcolor_key_rgb(128, 20, 30), {}, 0);
        tsurface *own = &reinterpret_cast<tcontrol *>(cd->_dialog)->_surface;
        tap(cd->_more);
        tsurface *rgb = tscreen_get_modal(screen);
        ASSERT_NE(rgb, own);
        widget_key(0xF808);  // red up a step on the focused bar
        widget_key(0xF822);  // Cancel
        widget_run_for(100);
        EXPECT_TRUE(g_results.empty());
        EXPECT_EQ(tscreen_get_modal(screen), own);
        EXPECT_EQ(g_color, tcolor_key_rgb(128, 20, 30));

        tap(cd->_more);
        widget_key(0xF808);
        widget_key(0xF821);  // OK
        widget_run_for(100);
        EXPECT_EQ(g_results, std::vector<std::string>{"1 user"});
        EXPECT_EQ(g_color, tcolor_key_rgb(51 * 255 / 100, 20, 30));  // 128 starts at 50 per cent
        EXPECT_EQ(g_recent[0], g_color);
        EXPECT_EQ(tscreen_get_modal(screen), nullptr);
      },
      "240x320");
}

// The dialog's own soft key and an outside tap close it with 0 and leave the
// caller's words alone; a hook may move the RGB dialog.
TEST(ColourDialog, CancelRoadsWriteNothing) {
  run_on_styled_screen(
      [](tscreen *screen) {
        widget_env env;
        open_dialog(0x010203, {0x040506}, 1);
        widget_key(0xF821);  // the hidden left key does nothing
        widget_run_for(100);
        EXPECT_TRUE(g_results.empty());
        widget_key(0xF822);
        widget_run_for(100);
        tcolordialog *cd = open_dialog(0x010203, {0x040506}, 1);
        tdialog_set_close_on_outside_tap(cd->_dialog, 1);
        tdialog_set_dimmed(cd->_dialog, 1);
        tcolordialog_set_on_more_colors(cd, [](tcolordialog *, int32_t *x, int32_t *y, int32_t *mode) {
          *x = 0;
          *y = 10;
          *mode = TDIALOG_PLACE_KEEP;
        });
        tap(cd->_more);
        tdialog *rgb = reinterpret_cast<tdialog *>(tscreen_get_modal(screen));
        EXPECT_EQ(ints({tdialog_get_x(rgb), tdialog_get_y(rgb), tdialog_is_dimmed(rgb)}), ints({0, 10, 1}));
        tdialog_close(rgb, 0);
        int32_t above = tdialog_get_y(cd->_dialog) - 2;
        ASSERT_GE(above, 0);
        widget_tap(1, above);
        EXPECT_EQ(g_results, std::vector<std::string>{"0 user"});
        EXPECT_EQ(g_color, 0x010203u);
        EXPECT_EQ(g_recent[0], 0x040506u);
        EXPECT_EQ(g_count, 1);
      },
      "240x320");
}

// A part that cannot be made (the wide "More Colors..." button under a low
// budget) gives no dialog, frees what was made and leaves nothing on screen.
TEST(ColourDialog, NoDialogWhenAPartCannotBeMade) {
  run_on_styled_screen(
      [](tscreen *screen) {
        uint64_t budget = tbitmap_set_budget(1 << 20);
        uint32_t color = 0, recent[TCOLORDIALOG_RECENT] = {};
        int32_t count = 0;
        EXPECT_EQ(tcolordialog_new(u"", 3000, &color, recent, &count, nullptr), nullptr);
        tbitmap_set_budget(budget);
        EXPECT_EQ(tscreen_get_modal(screen), nullptr);
      },
      "240x320");
}
