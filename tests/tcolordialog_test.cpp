// Colour dialog: what the recent row shows and lets through, how a pick
// reorders the caller's recent list (the count read from settings taken as
// 0..8), the swatch grid centred at both screen sizes, the roads through the
// RGB dialog and out, and a dialog that cannot be made whole.
#include "tcolordialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "screen_fixture.h"
#include "tbitmap.h"
#include "tbutton.h"
#include "tdialog.h"
#include "tstyler.h"
#include "widget_fixture.h"

namespace {

using words = std::vector<uint32_t>;
using ints = std::vector<int32_t>;

constexpr uint32_t rgb565(int r, int g, int b) { return uint32_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)); }
constexpr uint32_t k_orange = tcolor_key_rgb(255, 153, 0);
constexpr int k_orange_index = 17, k_magenta_index = 24;

// The caller's words; what they held when its callback ran, and whether a
// dialog was still modal then.
uint32_t g_color;
words g_recent;
int32_t g_count;
std::vector<std::string> g_results;
bool g_modal_when_called;

void record_result(int32_t result, void *user_data) {
  g_results.push_back(std::to_string(result) + " " + static_cast<const char *>(user_data) + " " +
                      std::to_string(g_color));
  g_modal_when_called = tscreen_get_modal(tscreen_get()) != nullptr;
}

char g_user[] = "user";

tcolordialog *open_dialog(uint32_t color, const words &recent, int32_t count) {
  g_results.clear();
  g_color = color;
  g_recent = recent;
  g_recent.resize(TCOLORDIALOG_RECENT);  // exactly 8 words: reading past them is caught
  g_count = count;
  tcolordialog *cd = tcolordialog_new(u"", -1, &g_color, g_recent.data(), &g_count, g_user);
  tcolordialog_set_on_result(cd, record_result);
  tcolordialog_show(cd, -1, -1, TDIALOG_PLACE_CENTRE);
  return cd;
}

tpoint centre_of(void *widget) {
  trect r = widget_screen_rect(widget);
  return {(r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2};
}

}  // namespace

// Slots beyond the count are white and take no tap; palette swatches show
// their colour in a dark grey edge. Only Cancel shows: the left soft key does
// nothing, Cancel and a tap outside (when the owner asks for it) close with 0
// and write nothing. A pick writes the caller's words before its callback
// runs, and the dialog is gone by then.
TEST(ColourDialog, EmptyRecentSlotsAreWhiteAndDeafAndAPaletteTapPicks) {
  run_widget_test_240x320([](tscreen *screen) {
    for (bool outside : {false, true}) {
      tcolordialog *cd = open_dialog(0x010203, {}, 0);
      tdialog_set_close_on_outside_tap(cd->_dialog, 1);
      widget_soft_key(0xF821);
      ASSERT_TRUE(g_results.empty());
      if (outside)
        widget_tap(1, tdialog_get_y(cd->_dialog) - 2);
      else
        widget_soft_key(0xF822);
      EXPECT_EQ(g_results, std::vector<std::string>{"0 user " + std::to_string(0x010203)});
      EXPECT_EQ(g_count, 0);
    }
    tcolordialog *cd = open_dialog(0x123456, {}, 0);
    for (tbutton *slot : cd->_recent) {
      EXPECT_EQ(screen_pixel(screen, centre_of(slot).x, centre_of(slot).y), rgb565(255, 255, 255));
      widget_tap_control(slot);
      ASSERT_TRUE(g_results.empty());
    }
    tbutton *orange = cd->_palette[k_orange_index];
    tpoint at = centre_of(orange);
    EXPECT_EQ(ints({int32_t(screen_pixel(screen, at.x, at.y)),
                    int32_t(screen_pixel(screen, widget_screen_rect(orange).x1, at.y))}),
              ints({rgb565(255, 153, 0), rgb565(64, 64, 64)}));
    widget_tap_control(cd->_palette[k_magenta_index]);
    const uint32_t magenta = tcolor_key_rgb(255, 1, 255);
    EXPECT_EQ(g_results, std::vector<std::string>{"1 user " + std::to_string(magenta)});
    EXPECT_EQ(ints({int32_t(g_recent[0]), g_count}), ints({int32_t(magenta), 1}));
    EXPECT_FALSE(g_modal_when_called);
  });
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
    words expected;   // the first entries; the rest stay as they were
    int32_t expected_count;
  };
  const row rows[] = {
      {"third recent moves up", {a, b, c, d}, 4, 2, {c, a, b, d}, 4},
      {"new colour drops the oldest", eight, 8, -1, {k_orange, 1, 2, 3, 4, 5, 6, 7}, 8},
      {"count 12 acts as 8", eight, 12, 7, {8, 1, 2, 3, 4, 5, 6, 7}, 8},
      {"match past the count is new", {a, b, c, k_orange}, 3, -1, {k_orange, a, b, c}, 4},
      {"negative count acts as 0", {a, b}, -2, -1, {k_orange}, 1},
  };
  run_widget_test_240x320([&](tscreen *) {
    for (const row &r : rows) {
      SCOPED_TRACE(r.what);
      tcolordialog *cd = open_dialog(0, r.recent, r.count);
      widget_tap_control(r.recent_slot < 0 ? cd->_palette[k_orange_index] : cd->_recent[r.recent_slot]);
      ASSERT_EQ(g_results.size(), 1u);
      words expected = r.recent;
      expected.resize(TCOLORDIALOG_RECENT);
      std::copy(r.expected.begin(), r.expected.end(), expected.begin());
      EXPECT_EQ(g_recent, expected);
      EXPECT_EQ(ints({g_count, int32_t(g_color)}), ints({r.expected_count, int32_t(r.expected[0])}));
    }
  });
}

// cell = (client width - 2 x 5) / 8 - 5 and the grid centred in the form:
// 234 gives 23 and margins 7 and 8, 474 gives 53 and 7 and 8. The layout
// values move the rows, and the dialog grows to hold the button.
TEST(ColourDialog, SwatchesAreSizedAndCentredForTheWidth) {
  struct row {
    const char *screen;
    int32_t spaced;  // layout 1, 3, 5, 6 and 7 (0: the defaults)
    int32_t cell, recent_top, palette_top;
  };
  const row rows[] = {
      {"240x320", 0, 23, 30, 30 + 23 + 8 + 2 + 8},
      {"480x640", 0, 53, 30, 30 + 53 + 8 + 2 + 8},
      {"480x640", 13, 53, 46, 46 + 53 + 13 + 2 + 13},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(std::string(r.screen) + " " + std::to_string(r.spaced));
    run_on_styled_screen(
        [&](tscreen *) {
          static int32_t spaced;
          spaced = r.spaced;
          tstyler_set_default(tstyler_new([](tstyler *, void *target, int32_t kind, void *, intptr_t) {
            if (kind != TSTYLE_COLORDIALOG_BEFORE || !spaced) return;
            for (int32_t index : {1, 3, 5, 6, 7, 8, 9, -1})
              tcolordialog_set_layout(static_cast<tcolordialog *>(target), index, spaced);
          }));
          tcolordialog *cd = open_dialog(0, {}, 0);
          trect form = widget_screen_rect(tdialog_get_form(cd->_dialog)), more = widget_screen_rect(cd->_more);
          trect first = widget_screen_rect(cd->_recent[0]), last = widget_screen_rect(cd->_palette[39]);
          trect palette = widget_screen_rect(cd->_palette[0]);
          EXPECT_EQ(ints({first.x2 - first.x1 + 1, first.y2 - first.y1 + 1, first.x1 - form.x1, form.x2 - last.x2,
                          first.y1 - form.y1, palette.y1 - form.y1}),
                    ints({r.cell, r.cell, 7, 8, r.recent_top, r.palette_top}));
          EXPECT_EQ(more.y2 - more.y1 + 1, r.cell + 4);
          EXPECT_LE(more.y2, form.y2);
          tdialog_close(cd->_dialog, 0);
        },
        r.screen);
  }
}

// "More Colors..." opens the RGB dialog on the picked colour, dimmed like
// this one and where the hook puts it. Its Cancel leaves this dialog open
// and answering; its OK closes both with 1 and the RGB dialog's colour.
TEST(ColourDialog, TheRgbDialogCancelsBackAndPicksThrough) {
  run_widget_test_240x320([](tscreen *screen) {
    tcolordialog *cd = open_dialog(tcolor_key_rgb(128, 20, 30), {}, 0);
    tsurface *own = &reinterpret_cast<tcontrol *>(cd->_dialog)->_surface;
    tdialog_set_dimmed(cd->_dialog, 1);
    tcolordialog_set_on_more_colors(cd, [](tcolordialog *, int32_t *x, int32_t *y, int32_t *mode) {
      *x = 0;
      *y = 10;
      *mode = TDIALOG_PLACE_KEEP;
    });
    widget_tap_control(cd->_more);
    tdialog *rgb = reinterpret_cast<tdialog *>(tscreen_get_modal(screen));
    EXPECT_EQ(ints({tdialog_get_x(rgb), tdialog_get_y(rgb), tdialog_is_dimmed(rgb)}), ints({0, 10, 1}));
    widget_key(0xF808);  // red up a step on the focused bar
    widget_soft_key(0xF822);  // Cancel
    EXPECT_TRUE(g_results.empty());
    EXPECT_EQ(tscreen_get_modal(screen), own);

    widget_tap_control(cd->_more);
    widget_key(0xF808);
    widget_soft_key(0xF821);  // OK
    const uint32_t picked = tcolor_key_rgb(51 * 255 / 100, 20, 30);  // 128 starts at 50 per cent
    EXPECT_EQ(g_results, std::vector<std::string>{"1 user " + std::to_string(picked)});
    EXPECT_EQ(g_recent[0], picked);
    EXPECT_EQ(tscreen_get_modal(screen), nullptr);
  });
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
